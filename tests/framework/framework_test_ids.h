/* Resource ids of the framework test programs' own resource script. */
#ifndef BIOSUPDATE_TESTS_FRAMEWORK_TEST_IDS_H
#define BIOSUPDATE_TESTS_FRAMEWORK_TEST_IDS_H

/* Block 1 (ids 0-15): first, inner and last entry, a gap and an empty entry. */
#define IDS_TEST_FIRST 1
#define IDS_TEST_MIDDLE 7
#define IDS_TEST_GAP 8
#define IDS_TEST_EMPTY 9
#define IDS_TEST_LAST 15
/* Block 63 (ids 992-1007). */
#define IDS_TEST_OTHER_BLOCK 1000
/* In both languages: the thread's language picks one. */
#define IDS_TEST_LOCALISED 2000
/* A block whose first entry claims more text than the block holds. */
#define IDS_TEST_DAMAGED_FIRST 1104
#define IDS_TEST_DAMAGED_SECOND 1105
/* No block holds it. */
#define IDS_TEST_MISSING 3000

#define IDD_TEST_DIALOG 100
#define IDC_TEST_BUTTON 1001
#define IDC_TEST_LABEL 1002

#endif
