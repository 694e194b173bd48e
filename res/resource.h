/* Resource ids shared by the resource script and the code. Plain C: windres reads it too. */
#pragma once

#define IDR_MAINFRAME 128
#define IDD_UPDATE_DIALOG 102

#define IDS_APP_TITLE 129
#define IDS_STATUS_LABEL 130
#define IDS_LOADING 131
#define IDS_VERIFYING 132
#define IDS_CANNOT_UPDATE 133
#define IDS_CANNOT_UPDATE2 134
#define IDS_CHECKING 135
#define IDS_LOW_BATTERY 136
#define IDS_UPDATING 137
#define IDS_INITIALIZING 138
#define IDS_CONFIRM 139
#define IDS_NO_AC 140
#define IDS_IMAGE_OLDER 141
#define IDS_SAME_VERSION 142
#define IDS_XP_ONLY 143

#define IDB_SCREEN_ALT 131
#define IDB_PROGRESS 132
#define IDB_SCREEN_KO 134
#define IDB_SCREEN 135

/* Payload of the resource type "File", language 1042. */
#define IDR_FILE_MFC42 154
#define IDR_FILE_MSVCP60 156
#define IDR_FILE_MSVCRT 157
#define IDR_FILE_PHLASH_INI 158
#define IDR_FILE_PHLASH9X 159
#define IDR_FILE_PHLASHLC 160
#define IDR_FILE_PHLASHNT 161
#define IDR_FILE_HELP_INDEX 164
#define IDR_FILE_SWINFLASH 165
#define IDR_FILE_BIOS_IMAGE 168
