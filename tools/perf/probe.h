// The benchmark program's jobs and what they share: a millisecond clock and the result file that
// tools/perf reads back after the run.
#pragma once

#include <windows.h>

#include <cstdio>
#include <vector>

namespace perf {

class Stopwatch {
public:
    Stopwatch() { ::QueryPerformanceCounter(&m_start); }
    double ElapsedMs() const {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        ::QueryPerformanceCounter(&now);
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(now.QuadPart - m_start.QuadPart) * 1000.0 /
               static_cast<double>(frequency.QuadPart);
    }

private:
    LARGE_INTEGER m_start;
};

// One line per figure: its name, then its value or its samples, separated by spaces.
class Results {
public:
    explicit Results(const char* path) : m_file(std::fopen(path, "w")) {}
    ~Results() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
    }
    Results(const Results&) = delete;
    Results& operator=(const Results&) = delete;

    bool IsOpen() const { return m_file != nullptr; }
    void Value(const char* name, double value) { Samples(name, {value}); }
    void Samples(const char* name, const std::vector<double>& values) {
        std::fprintf(m_file, "%s", name);
        for (const double value : values) {
            std::fprintf(m_file, " %.4f", value);
        }
        std::fprintf(m_file, "\n");
        std::fflush(m_file);
    }

private:
    std::FILE* m_file;
};

// The payload written by the program's routines against CopyFileA, `repetitions` times each.
void RunPayload(Results& results, int repetitions);
// The stand-in flash utility started from the work folder as the worker starts it, `launches`
// times.
void RunStub(Results& results, int launches);
// `timed` paints of the status screen timed, then more up to `total`, with the process's GDI
// objects, handles and working set after the first paint and after the last.
void RunPaint(Results& results, int timed, int total);

} // namespace perf
