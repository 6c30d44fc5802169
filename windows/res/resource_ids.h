/* Resource identifiers of the programmer application's windows, shared by
   the resource script and the code that binds the controls. Plain defines:
   the resource compiler reads this file too. The dialog, menu and control ids
   that the application logic uses are the same numbers as app/control_ids.h
   (the binding code checks that at compile time). */
#ifndef VM612K_RESOURCE_IDS_H
#define VM612K_RESOURCE_IDS_H

#define RES_APP_ICON 128

#define RES_MAIN_DIALOG 101
#define RES_ABOUT_DIALOG 105
#define RES_ONEKEY_DIALOG 109
#define RES_MAIN_MENU 142

/* Main window controls. */
#define RES_FLASH_SIZE_LIST 1128
#define RES_SET_FLASH 1060
#define RES_CONNECT 40018
#define RES_DISCONNECT 1063
#define RES_PATH_FIELD 1126
#define RES_LOAD 1041
#define RES_SIZE_FIELD 1130
#define RES_CHECKSUM_FIELD 1129
#define RES_READ 1054
#define RES_ERASE 1055
#define RES_BLANK 1056
#define RES_PROGRAM 1057
#define RES_VERIFY 1058
#define RES_ONEKEY 1059
#define RES_LOG_LIST 1062
#define RES_PROGRESS_BAR 1010

/* Group boxes and labels: only their texts are set, from the build's set. */
#define RES_GROUP_CHIP 1201
#define RES_GROUP_FILE 1202
#define RES_LABEL_FLASH_SIZE 1211
#define RES_LABEL_LOAD 1212
#define RES_LABEL_BUFFERED_SIZE 1213
#define RES_LABEL_CHECKSUM 1214

/* Menu items. */
#define RES_OPEN_FILE 40001
#define RES_SAVE_FILE 40017
#define RES_EXIT 40002
#define RES_ABOUT 40004

/* About box. */
#define RES_ABOUT_OK 1047
#define RES_ABOUT_PICTURE 1221
#define RES_ABOUT_LINE 1222
#define RES_ABOUT_ADDRESS 1223

/* One-key options dialog. */
#define RES_ONEKEY_OK 1099
#define RES_ONEKEY_CANCEL 1100
#define RES_ONEKEY_ERASE 1101
#define RES_ONEKEY_PROGRAM_BOX 1102
#define RES_ONEKEY_VERIFY_BOX 1103
#define RES_ONEKEY_ICON 1231

#endif
