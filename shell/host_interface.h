// The records exchanged with the Kel host, and the host's operations.
//
// This is a wire format between two separately built programs: the host
// fills HostStartupInfo and hands it to SetStartupInfo; the plug-in fills
// PluginInfo, menu rows and dialog items and hands them to the host. Every
// pointer and integer is 32 bits on the 32-bit product and every operation
// uses the Windows API calling convention. The kelhost program includes this
// same header, so both sides always agree on 64-bit builds too.
#pragma once

#include <cstddef>
#include <cstdint>

// The host's calling convention, and how the plug-in marks its exports.
#ifdef _WIN32
#define HOSTAPI __stdcall
#define PLUGIN_EXPORT __declspec(dllexport)
#else
#define HOSTAPI
#define PLUGIN_EXPORT __attribute__((visibility("default")))
#endif

struct HostMenuItem {
  char Text[128];  // "&" marks the next character as the row's hot key
  int Selected;    // nonzero: the cursor starts on this row
  int Checked;     // nonzero: a check mark
  int Separator;   // nonzero: a separator line instead of a row
};

// Dialog item types.
enum HostDialogItemType : int {
  DI_TEXT = 0,
  DI_DOUBLEBOX = 3,
  DI_EDIT = 4,
  DI_PSWEDIT = 5,
  DI_BUTTON = 7,
  DI_CHECKBOX = 8,
  DI_RADIOBUTTON = 9,
};

// Dialog item flag: this radio button starts a group.
constexpr unsigned DIF_GROUP = 0x400;

struct HostDialogItem {
  int Type;
  int X1, Y1, X2, Y2;
  int Focus;
  int Selected;  // check box or radio button state: 1 set, 0 not
  unsigned Flags;
  int DefaultButton;
  char Data[512];  // zero-terminated text; the host writes edited texts back
};

// Message box flags.
constexpr unsigned FMSG_WARNING = 1;
// The one-character line text that the host draws as a separator line.
constexpr char kMessageSeparator[] = "\x01";

typedef int(HOSTAPI* HostMenuFn)(int PluginId, int X, int Y, int MaxHeight, unsigned Flags, const char* Title,
                                 const char* Bottom, const char* HelpTopic, const int* BreakKeys, int* BreakCode,
                                 const HostMenuItem* Items, int ItemCount);
typedef int(HOSTAPI* HostDialogFn)(int PluginId, int X1, int Y1, int X2, int Y2, const char* HelpTopic,
                                   HostDialogItem* Items, int ItemCount);
typedef int(HOSTAPI* HostMessageFn)(int PluginId, unsigned Flags, const char* HelpTopic, const char* const* Items,
                                    int ItemCount, int ButtonCount);
typedef const char*(HOSTAPI* HostGetMessageTextFn)(int PluginId, int MessageNumber);
typedef void*(HOSTAPI* HostSaveScreenFn)(int X1, int Y1, int X2, int Y2);
typedef void(HOSTAPI* HostRestoreScreenFn)(void* Screen);
typedef int(HOSTAPI* HostViewerFn)(const char* FileName, const char* Title, int X1, int Y1, int X2, int Y2,
                                   unsigned Flags);
typedef int(HOSTAPI* HostEditorFn)(const char* FileName, const char* Title, int X1, int Y1, int X2, int Y2,
                                   unsigned Flags, int StartLine, int StartColumn);
typedef void(HOSTAPI* HostTextFn)(int X, int Y, int Color, const char* Text);
typedef void (*HostUnusedFn)();

struct HostStartupInfo {
  int StructSize;
  char ModulePath[260];
  int PluginId;
  const char* RootKey;  // a host field the plug-in does not read
  HostMenuFn Menu;
  HostDialogFn Dialog;
  HostMessageFn Message;
  HostGetMessageTextFn GetMessageText;
  HostUnusedFn Unused288;
  HostSaveScreenFn SaveScreen;
  HostRestoreScreenFn RestoreScreen;
  HostUnusedFn Unused300;
  HostUnusedFn Unused304;
  HostUnusedFn Unused308;
  HostViewerFn Viewer;
  HostEditorFn Editor;
  HostUnusedFn Unused320;
  HostUnusedFn Unused324;
  HostTextFn Text;
  HostUnusedFn Unused332;
};

struct PluginInfo {
  int StructSize;
  unsigned Flags;
  const char* const* DiskMenuStrings;
  int* DiskMenuNumbers;
  int DiskMenuStringsNumber;
  const char* const* PluginMenuStrings;
  int PluginMenuStringsNumber;
  const char* const* PluginConfigStrings;
  int PluginConfigStringsNumber;
  const char* CommandPrefix;
};

// OpenPlugin origin for the host's command line.
constexpr int OPEN_COMMANDLINE = 4;

// The records without pointers have one layout everywhere.
static_assert(sizeof(HostMenuItem) == 140);
static_assert(offsetof(HostMenuItem, Selected) == 128);
static_assert(offsetof(HostMenuItem, Checked) == 132);
static_assert(offsetof(HostMenuItem, Separator) == 136);
static_assert(sizeof(HostDialogItem) == 548);
static_assert(offsetof(HostDialogItem, X1) == 4);
static_assert(offsetof(HostDialogItem, Y2) == 16);
static_assert(offsetof(HostDialogItem, Focus) == 20);
static_assert(offsetof(HostDialogItem, Selected) == 24);
static_assert(offsetof(HostDialogItem, Flags) == 28);
static_assert(offsetof(HostDialogItem, DefaultButton) == 32);
static_assert(offsetof(HostDialogItem, Data) == 36);
static_assert(offsetof(HostStartupInfo, ModulePath) == 4);
static_assert(offsetof(HostStartupInfo, PluginId) == 264);

// On the 32-bit product every field is 32 bits wide.
#if UINTPTR_MAX == 0xFFFFFFFFu
static_assert(sizeof(HostStartupInfo) == 336);
static_assert(offsetof(HostStartupInfo, Menu) == 272);
static_assert(offsetof(HostStartupInfo, Dialog) == 276);
static_assert(offsetof(HostStartupInfo, Message) == 280);
static_assert(offsetof(HostStartupInfo, GetMessageText) == 284);
static_assert(offsetof(HostStartupInfo, SaveScreen) == 292);
static_assert(offsetof(HostStartupInfo, RestoreScreen) == 296);
static_assert(offsetof(HostStartupInfo, Viewer) == 312);
static_assert(offsetof(HostStartupInfo, Editor) == 316);
static_assert(offsetof(HostStartupInfo, Text) == 328);
static_assert(sizeof(PluginInfo) == 40);
static_assert(offsetof(PluginInfo, Flags) == 4);
static_assert(offsetof(PluginInfo, DiskMenuStrings) == 8);
static_assert(offsetof(PluginInfo, DiskMenuNumbers) == 12);
static_assert(offsetof(PluginInfo, DiskMenuStringsNumber) == 16);
static_assert(offsetof(PluginInfo, PluginMenuStrings) == 20);
static_assert(offsetof(PluginInfo, PluginMenuStringsNumber) == 24);
static_assert(offsetof(PluginInfo, PluginConfigStrings) == 28);
static_assert(offsetof(PluginInfo, PluginConfigStringsNumber) == 32);
static_assert(offsetof(PluginInfo, CommandPrefix) == 36);
#endif

// The five exports, as the host calls them.
typedef void(HOSTAPI* SetStartupInfoFn)(const HostStartupInfo* Info);
typedef void(HOSTAPI* GetPluginInfoFn)(PluginInfo* Info);
typedef int(HOSTAPI* OpenPluginFn)(int OpenFrom, intptr_t Item);
typedef int(HOSTAPI* ConfigureFn)(int ItemNumber);
