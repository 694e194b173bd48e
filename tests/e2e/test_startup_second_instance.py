"""A second start while the first instance waits at its question, under Wine."""

import unittest

from e2e_support import ProductTestCase, QUESTION_CAPTION, autostart_value, leftover_files


class SecondInstance(ProductTestCase):
    def test_a_second_start_exits_silently_and_touches_nothing(self):
        planted = leftover_files()
        for args in [None, "1"]:
            with self.subTest(second_args=args):
                # The first instance is left at its question; once the second has exited, the
                # driver ends the first, so neither the answer nor a clean-up of the first
                # touches the planted files.
                report = self.run_machine(
                    answer="none", files=planted, registry=autostart_value(),
                    second_instance={"at": "question", "args": args, "stop_first_after": True})
                second = report["second_instance"]
                self.assertIsNotNone(second, "no second instance was started")
                self.assertIsNotNone(second["exit_code"], "the second instance did not end")
                self.assertIsNone(second["terminated"], "the second instance had to be killed")
                self.assertEqual(report.windows(role="second", visible_only=True), [])
                self.assertEqual([b for b in report.message_boxes if b["role"] == "second"], [])
                (question,) = report.boxes(QUESTION_CAPTION)
                self.assertIsNone(question["pressed"])
                self.assertLess(question["appeared_ms"], second["launched_ms"] + 1)
                self.assertEqual(report.ended["how"], "stopped")
                for path, content in planted.items():
                    self.assertEqual(report["files"][path].get("size"), len(content), path)
                self.assert_autostart(report, present=True)


if __name__ == "__main__":
    unittest.main()
