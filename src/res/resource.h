#pragma once
#define IDI_MAIN 1
#define IDB_BANNER 101
#define IDB_NEXT 102
#define IDB_NEXT_HOT 103
#define IDB_NEXT_DISABLED 104
