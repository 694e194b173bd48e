/*
 * Stand-in for the vendor's flash utility, "SWinFlash.exe", in the default payload. It flashes
 * nothing. It writes the backup file that "/BU=<name>" names and, for the tests, can record how it
 * was started, wait and exit with a chosen code (README.md describes the environment variables and
 * the record format).
 *
 * It runs beside placeholder files named "msvcrt.dll" and "mfc42.dll", so it imports no C
 * runtime: freestanding, its own entry point, kernel32 only.
 */
#include <windows.h>

/* The compiler may emit calls to these for copies and clears, and no library provides them. */
void* memset(void* destination, int value, size_t count);
void* memcpy(void* destination, const void* source, size_t count);

void* memset(void* destination, int value, size_t count) {
    unsigned char* bytes = destination;
    while (count--) {
        *bytes++ = (unsigned char)value;
    }
    return destination;
}

void* memcpy(void* destination, const void* source, size_t count) {
    unsigned char* to = destination;
    const unsigned char* from = source;
    while (count--) {
        *to++ = *from++;
    }
    return destination;
}

static DWORD string_length(const char* text) {
    DWORD length = 0;
    while (text[length]) {
        ++length;
    }
    return length;
}

static char upper_case(char character) {
    return character >= 'a' && character <= 'z' ? (char)(character - 'a' + 'A') : character;
}

/* True when text starts with prefix, ignoring the case of ASCII letters. */
static BOOL starts_with_ignoring_case(const char* text, const char* prefix) {
    for (; *prefix; ++text, ++prefix) {
        if (upper_case(*text) != upper_case(*prefix)) {
            return FALSE;
        }
    }
    return TRUE;
}

/* ---- command line ------------------------------------------------------------------------ */

#define ARGUMENT_CAPACITY MAX_PATH

typedef struct {
    char text[ARGUMENT_CAPACITY];
    BOOL too_long;
} Argument;

/*
 * Takes the next argument off *cursor. Double quotes group spaces into an argument and are
 * dropped. An argument longer than the buffer is cut and marked too long. FALSE at the end.
 */
static BOOL next_argument(const char** cursor, Argument* argument) {
    const char* position = *cursor;
    DWORD length = 0;
    BOOL quoted = FALSE;
    while (*position == ' ' || *position == '\t') {
        ++position;
    }
    if (!*position) {
        *cursor = position;
        return FALSE;
    }
    argument->too_long = FALSE;
    for (; *position && (quoted || (*position != ' ' && *position != '\t')); ++position) {
        if (*position == '"') {
            quoted = !quoted;
        } else if (length + 1 < ARGUMENT_CAPACITY) {
            argument->text[length++] = *position;
        } else {
            argument->too_long = TRUE;
        }
    }
    argument->text[length] = '\0';
    *cursor = position;
    return TRUE;
}

typedef struct {
    Argument backup; /* the name after "/BU=", if that switch was given */
    BOOL has_backup;
    Argument image; /* the last argument, unless that is a switch */
    BOOL has_image;
} Arguments;

static void parse_command_line(const char* command_line, Arguments* arguments) {
    static const char backup_switch[] = "/BU=";
    static Argument argument;
    const char* cursor = command_line;
    arguments->has_backup = FALSE;
    arguments->has_image = FALSE;
    /* The program's own path comes first, quoted or not. Without quotes a path with spaces spans
       several arguments; they are never the last one, so the image is still found. */
    if (!next_argument(&cursor, &argument)) {
        return;
    }
    while (next_argument(&cursor, &argument)) {
        BOOL is_switch = argument.text[0] == '/';
        if (is_switch && starts_with_ignoring_case(argument.text, backup_switch)) {
            Argument* backup = &arguments->backup;
            DWORD prefix = sizeof backup_switch - 1;
            memcpy(backup->text, argument.text + prefix, string_length(argument.text) - prefix + 1);
            backup->too_long = argument.too_long;
            arguments->has_backup = TRUE;
        }
        arguments->has_image = !is_switch;
        if (!is_switch) {
            arguments->image = argument;
        }
    }
}

/* ---- environment ------------------------------------------------------------------------- */

/* The variable's value, or FALSE when it is unset or longer than the buffer. */
static BOOL read_variable(const char* name, char* value, DWORD capacity) {
    DWORD length = GetEnvironmentVariableA(name, value, capacity);
    return length > 0 && length < capacity;
}

/* A decimal number from 0 to 4294967295 with nothing else around it. */
static BOOL parse_decimal(const char* text, DWORD* number) {
    DWORD value = 0;
    if (!*text) {
        return FALSE;
    }
    for (; *text; ++text) {
        DWORD digit;
        if (*text < '0' || *text > '9') {
            return FALSE;
        }
        digit = (DWORD)(*text - '0');
        if (value > (0xFFFFFFFFu - digit) / 10) {
            return FALSE;
        }
        value = value * 10 + digit;
    }
    *number = value;
    return TRUE;
}

typedef enum { SETTING_UNSET, SETTING_VALID, SETTING_INVALID } SettingState;

typedef struct {
    SettingState state;
    DWORD value;
} NumberSetting;

static NumberSetting read_number_variable(const char* name) {
    char text[32];
    NumberSetting setting = {SETTING_INVALID, 0};
    DWORD length;
    SetLastError(NO_ERROR);
    length = GetEnvironmentVariableA(name, text, sizeof text);
    if (length == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
        setting.state = SETTING_UNSET;
    } else if (length > 0 && length < sizeof text && parse_decimal(text, &setting.value)) {
        setting.state = SETTING_VALID;
    }
    return setting;
}

/* ---- the record ------------------------------------------------------------------------- */

/* Room for the longest command line (32767 characters) and a full folder listing. */
#define RECORD_CAPACITY (128u * 1024u)
/* Kept free for the closing lines, so a record always ends properly. */
#define RECORD_RESERVE 64u

typedef struct {
    char text[RECORD_CAPACITY];
    DWORD length;
    BOOL truncated;
    const char* key_prefix; /* put before every key: "" or "final-" */
} Record;

/* Whether length more bytes fit below limit; marks the record truncated when not. */
static BOOL fits(Record* record, DWORD length, DWORD limit) {
    if (record->length + length > limit) {
        record->truncated = TRUE;
        return FALSE;
    }
    return TRUE;
}

static void append_text(Record* record, const char* text, DWORD limit) {
    DWORD length = string_length(text);
    if (fits(record, length, limit)) {
        memcpy(record->text + record->length, text, length);
        record->length += length;
    }
}

/* "key=value" and a line break; the whole line or nothing. */
static void append_line(Record* record, const char* key, const char* value) {
    DWORD limit = RECORD_CAPACITY - RECORD_RESERVE;
    DWORD value_length = string_length(value);
    DWORD index;
    if (!fits(record, string_length(record->key_prefix) + string_length(key) + value_length + 3,
              limit)) {
        return;
    }
    append_text(record, record->key_prefix, limit);
    append_text(record, key, limit);
    append_text(record, "=", limit);
    for (index = 0; index < value_length; ++index) {
        char character = value[index];
        /* A value never breaks its line. */
        record->text[record->length++] = character == '\r' || character == '\n' ? ' ' : character;
    }
    append_text(record, "\r\n", limit);
}

static void format_decimal(DWORD number, char* text) {
    char digits[16];
    DWORD count = 0;
    do {
        digits[count++] = (char)('0' + number % 10);
        number /= 10;
    } while (number);
    while (count) {
        *text++ = digits[--count];
    }
    *text = '\0';
}

static void format_hex(DWORD number, char* text) {
    static const char hex_digits[] = "0123456789ABCDEF";
    int shift;
    for (shift = 28; shift >= 0; shift -= 4) {
        *text++ = hex_digits[(number >> shift) & 0xF];
    }
    *text = '\0';
}

static void append_number_line(Record* record, const char* key, DWORD number) {
    char text[16];
    format_decimal(number, text);
    append_line(record, key, text);
}

static void append_setting_line(Record* record, const char* key, NumberSetting setting) {
    if (setting.state == SETTING_VALID) {
        append_number_line(record, key, setting.value);
    } else if (setting.state == SETTING_INVALID) {
        append_line(record, key, "invalid");
    }
}

static void append_folder_listing(Record* record) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA("*", &found);
    if (search == INVALID_HANDLE_VALUE) {
        return;
    }
    do {
        BOOL is_folder = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        if (!is_folder) {
            append_line(record, "file", found.cFileName);
        } else if (found.cFileName[0] != '.') {
            append_line(record, "folder", found.cFileName);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

/* CRC-32 as in zlib and PKZIP: reflected polynomial 0xEDB88320, start and final XOR 0xFFFFFFFF. */
static DWORD crc_table[256];

static void build_crc_table(void) {
    DWORD index;
    for (index = 0; index < 256; ++index) {
        DWORD value = index;
        int bit;
        for (bit = 0; bit < 8; ++bit) {
            value = value & 1 ? (value >> 1) ^ 0xEDB88320u : value >> 1;
        }
        crc_table[index] = value;
    }
}

static void append_image_lines(Record* record, const Arguments* arguments) {
    static BYTE chunk[64 * 1024];
    HANDLE image;
    DWORD size_high = 0;
    DWORD size = 0;
    DWORD crc = 0xFFFFFFFFu;
    DWORD read = 0;
    char text[16];
    if (!arguments->has_image) {
        append_line(record, "image-error", "no image named");
        return;
    }
    append_line(record, "image", arguments->image.text);
    if (arguments->image.too_long) {
        append_line(record, "image-error", "name too long");
        return;
    }
    image = CreateFileA(arguments->image.text, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                        FILE_ATTRIBUTE_NORMAL, NULL);
    if (image == INVALID_HANDLE_VALUE) {
        append_line(record, "image-error", "cannot open");
        return;
    }
    if (GetFileSize(image, &size_high) == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        size_high = 1;
    }
    if (size_high != 0) {
        CloseHandle(image);
        append_line(record, "image-error", "size unknown or 4 GiB and more");
        return;
    }
    build_crc_table();
    while (ReadFile(image, chunk, sizeof chunk, &read, NULL) && read > 0) {
        DWORD index;
        for (index = 0; index < read; ++index) {
            crc = crc_table[(crc ^ chunk[index]) & 0xFF] ^ (crc >> 8);
        }
        size += read;
    }
    CloseHandle(image);
    append_number_line(record, "image-size", size);
    format_hex(crc ^ 0xFFFFFFFFu, text);
    append_line(record, "image-crc32", text);
}

static void append_record(const char* path, Record* record) {
    HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    DWORD written = 0;
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    /* One write, so records of runs that overlap do not interleave. */
    WriteFile(file, record->text, record->length, &written, NULL);
    CloseHandle(file);
}

/* Whether the utility could open one of its own files for writing (it writes nothing): what a
   utility that rewrites its configuration would meet. */
static void append_own_file_write_line(Record* record) {
    static const char own_file[] = "PHLASH.INI";
    char error[16];
    HANDLE file =
        CreateFileA(own_file, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    NULL, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file != INVALID_HANDLE_VALUE) {
        CloseHandle(file);
        append_line(record, "own-file-write", "allowed");
        return;
    }
    format_decimal(GetLastError(), error);
    append_line(record, "own-file-write", error);
}

/* A question as a real utility may ask it in the middle of a flash: shown with user32, loaded
   only then so that the stand-in otherwise needs nothing but kernel32. Returns the button
   pressed, or 0 when no box could be shown. */
typedef int(WINAPI* MessageBoxFunction)(HWND, const char*, const char*, UINT);

static DWORD ask_question(void) {
    /* From the system folder only, with everything it needs: under Wine the placeholder
       msvcrt.dll beside the stand-in would otherwise replace the system's (Windows takes it
       from its known DLLs). */
    HMODULE user32 = LoadLibraryExA("user32.dll", NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    FARPROC found = user32 ? GetProcAddress(user32, "MessageBoxA") : NULL;
    MessageBoxFunction message_box = NULL;
    /* Copied, since ISO C has no cast between the two kinds of function pointer. */
    memcpy(&message_box, &found, sizeof message_box);
    if (message_box == NULL) {
        return 0;
    }
    return (DWORD)message_box(NULL, "The stand-in flash utility asks for an answer.", "SWinFlash",
                              MB_OK | MB_ICONWARNING);
}

/* What is left for the utility when it ends: the folder and the image once more, as the last
   look a real utility takes at its files. */
static void append_final_record(const char* path, Record* record, const Arguments* arguments,
                                NumberSetting answer) {
    record->length = 0;
    record->truncated = FALSE;
    record->key_prefix = "";
    append_text(record, "[run-end]\r\n", RECORD_CAPACITY);
    record->key_prefix = "final-";
    append_setting_line(record, "message-box-answer", answer);
    append_folder_listing(record);
    append_image_lines(record, arguments);
    if (record->truncated) {
        append_text(record, "final-truncated=yes\r\n", RECORD_CAPACITY);
    }
    append_text(record, "end\r\n", RECORD_CAPACITY);
    append_record(path, record);
}

/* ---- its own library -------------------------------------------------------------------- */

/*
 * Loads the utility's resource library by name, as the vendor's utility does, and records the
 * outcome: Windows must look for them in the utility's folder, whatever the program that started
 * it did to its own search. The placeholder is no DLL: error 193 (not a valid image) says it was
 * found there, 126 (not found) that the folder was not searched.
 */
static void append_library_lines(Record* record) {
    static const char library_name[] = "PhlashLc.dll";
    HMODULE library = LoadLibraryA(library_name);
    append_line(record, "library", library_name);
    append_number_line(record, "library-error", library ? NO_ERROR : GetLastError());
    if (library) {
        FreeLibrary(library);
    }
}

/* ---- the backup ------------------------------------------------------------------------- */

static const char backup_contents[] =
    "BIOSUpdate stand-in flash utility: backup of the running BIOS.\r\n"
    "This is a stand-in backup written by the stand-in flash utility; it holds no firmware.\r\n";

static const char* write_backup(const Arguments* arguments) {
    HANDLE file;
    DWORD written = 0;
    BOOL complete;
    if (arguments->backup.too_long || !arguments->backup.text[0]) {
        return "unusable name";
    }
    file = CreateFileA(arguments->backup.text, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return "cannot create";
    }
    complete = WriteFile(file, backup_contents, sizeof backup_contents - 1, &written, NULL) &&
               written == sizeof backup_contents - 1;
    complete = CloseHandle(file) && complete;
    return complete ? NULL : "cannot write";
}

/* ---- entry ------------------------------------------------------------------------------ */

void stub_entry(void);

void stub_entry(void) {
    static Arguments arguments;
    static Record record;
    static char record_path[MAX_PATH];
    static char folder[MAX_PATH];
    const char* command_line = GetCommandLineA();
    /* Only the stand-in reads this name; the package lint knows the stand-in by it. */
    BOOL recording = read_variable("BIOSUPDATE_STUB_RECORD", record_path, sizeof record_path);
    NumberSetting delay = read_number_variable("BIOSUPDATE_STUB_DELAY_MS");
    NumberSetting exit_code = read_number_variable("BIOSUPDATE_STUB_EXIT_CODE");
    NumberSetting question = read_number_variable("BIOSUPDATE_STUB_MESSAGE_BOX_MS");
    NumberSetting answer = {SETTING_UNSET, 0};
    const char* backup_error = NULL;

    /* Sleep(INFINITE) would never return. */
    if (delay.state == SETTING_VALID && delay.value == INFINITE) {
        delay.state = SETTING_INVALID;
    }
    parse_command_line(command_line, &arguments);

    record.key_prefix = "";
    if (recording) {
        DWORD folder_length = GetCurrentDirectoryA(sizeof folder, folder);
        append_text(&record, "[run]\r\n", RECORD_CAPACITY);
        append_line(&record, "command-line", command_line);
        append_line(&record, "current-folder",
                    folder_length > 0 && folder_length < sizeof folder ? folder : "");
        /* Listed before the backup is written: what the caller left in the folder. */
        append_folder_listing(&record);
        append_image_lines(&record, &arguments);
        append_own_file_write_line(&record);
        append_library_lines(&record);
    }
    if (arguments.has_backup) {
        backup_error = write_backup(&arguments);
    }
    if (recording) {
        if (arguments.has_backup) {
            append_line(&record, backup_error ? "backup-error" : "backup",
                        backup_error ? backup_error : arguments.backup.text);
        }
        append_setting_line(&record, "delay-ms", delay);
        append_setting_line(&record, "exit-code", exit_code);
        if (record.truncated) {
            append_text(&record, "truncated=yes\r\n", RECORD_CAPACITY);
        }
        append_text(&record, "end\r\n", RECORD_CAPACITY);
        append_record(record_path, &record);
    }
    if (question.state == SETTING_VALID && question.value != INFINITE) {
        Sleep(question.value);
        answer.state = SETTING_VALID;
        answer.value = ask_question();
    }
    if (delay.state == SETTING_VALID) {
        Sleep(delay.value);
    }
    if (recording) {
        append_final_record(record_path, &record, &arguments, answer);
    }
    ExitProcess(exit_code.state == SETTING_VALID ? exit_code.value : 0);
}
