// Identifiers of the resources the program embeds (talvex-auto.rc).
#pragma once

#define IDI_TALVEX 1
#define IDB_TELEVISION 101
