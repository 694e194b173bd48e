"""A private Xvfb display; Xvfb picks a free display number itself (-displayfd). Its root window,
which is Wine's desktop, is white, so that a screenshot tells the desktop from a window's black."""

import os
import select
import signal
import subprocess
import time


class XvfbError(RuntimeError):
    pass


class Xvfb:
    def __init__(self, width, height, start_timeout=20):
        read_end, write_end = os.pipe()
        try:
            self._process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-wr", "-screen", "0",
                 f"{width}x{height}x24", "-nolisten", "tcp"],
                pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        except OSError as error:
            os.close(read_end)
            os.close(write_end)
            raise XvfbError(f"cannot start Xvfb: {error}") from error
        os.close(write_end)
        try:
            self.display = ":" + self._read_display(read_end, start_timeout)
        except XvfbError:
            self.stop()
            raise
        finally:
            os.close(read_end)

    def _read_display(self, fd, timeout):
        deadline = time.monotonic() + timeout
        text = b""
        while not text.endswith(b"\n"):
            remaining = deadline - time.monotonic()
            if remaining <= 0 or self._process.poll() is not None:
                raise XvfbError("Xvfb did not report its display")
            ready, _, _ = select.select([fd], [], [], remaining)
            if ready:
                chunk = os.read(fd, 64)
                if not chunk:
                    raise XvfbError("Xvfb closed its display pipe")
                text += chunk
        return text.decode().strip()

    def stop(self):
        """Ends Xvfb with SIGTERM, so it removes its lock file and socket."""
        if self._process.poll() is None:
            self._process.send_signal(signal.SIGTERM)
            try:
                self._process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self._process.kill()
                self._process.wait(timeout=10)
