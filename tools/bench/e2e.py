"""The end-to-end runner's modules (tools/e2e) that the bench drives and reads."""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "e2e"))

import machine  # noqa: E402,F401  (tools/e2e)
import stub_record  # noqa: E402,F401  (tools/e2e)
import wine_trace  # noqa: E402,F401  (tools/e2e)
