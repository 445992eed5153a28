// Kestrum: the privileged-operations library. One class, UAC, whose members each convert their
// arguments and call one routine below; the routines do the work and guard it, since the class
// answers as safe for scripting while it ends processes, writes files and starts programs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/com/guid.h"

namespace kestrum {

namespace com = platform::com;

inline constexpr com::Guid CLSID_UAC = com::Guid::of("{914C7DA0-46A3-4ACA-82C9-1747F78FC836}");
inline constexpr com::Guid IID_UAC = com::Guid::of("{4D880E86-1BC7-4332-8657-98B3DCC8C272}");
inline constexpr com::Guid LIBID_Kestrum = com::Guid::of("{350DF115-0569-439F-8937-EAFBFB27EE87}");

// The library's log: what a message box would have said, and failures the members cannot
// report. Lines go to standard error and to the sink, when one is set (tests).
void log(std::u16string_view text);
void setLogSink(std::function<void(const std::u16string&)> sink);

// Run-time error numbers the members raise, as 0x800A0000 + number.
enum VbError : int {
    kOverflow = 6,
    kOutOfMemory = 7,
    kFileNotFound = 53,
    kInputPastEnd = 62,
    kPermissionDenied = 70,
    kPathFileAccess = 75,
    kPathNotFound = 76,
};
[[noreturn]] void raiseVb(int number);
// The run-time error for an errno of a file operation.
int vbErrorOfErrno(int error);

// ---- Processes and windows
void showWindow(std::uint32_t hwnd, int mode);
bool killProcessByHwnd(std::uint32_t hwnd);
// Ends every process whose program name ends with `name` (without regard to case); a blank
// name ends nothing. True when any process matched.
bool killProcessByName(std::u16string_view name);
// Starts a program hidden, without a shell: `parameters` are split by the Windows rules. The
// program must be named by an absolute path where code may be loaded from
// (platform/system/codefile.h); a refusal is logged with its reason. True when it started.
bool shellRun(std::u16string_view folder, std::u16string_view program,
              std::u16string_view parameters);
// Starts "Prentor.exe" from `folder` with shellRun; it must also be a guarded file: under the
// allowed roots, and not a symbolic link itself.
bool startPrentor(std::u16string_view folder, std::u16string_view parameters);

// ---- Printer and spooler settings (the attribute bits of platform/spooler/winspool.h)
void showDocumentDefaults(std::u16string_view printer, std::uint32_t owner);
// The previous print quality; 0 (and nothing written) when the printer cannot be opened or
// has no device settings.
std::int16_t setPrintQuality(std::int16_t quality, std::u16string_view printer);
void setSpoolMode(bool spool, std::u16string_view printer);
void setBidiAndRaw(std::int32_t bidi, std::int16_t adv, std::u16string_view printer);
bool clearKeepPrintedJobs(std::u16string_view printer);
void resetPrinterQueueMode(std::u16string_view printer);
std::int32_t printerAttributes(std::u16string_view printer);
bool canAdminister(std::u16string_view printer);

// ---- Files, machine identity, font smoothing
std::u16string tempFolder();
std::u16string systemFolderText();
// The longest first field loadFirstField answers, in characters; a longer one fails with
// run-time error 7 and the file is kept.
inline constexpr std::size_t kMaxFieldUnits = std::size_t(16) << 20;
// These raise run-time errors (raiseVb) on failure.
void moveFileReplace(std::u16string_view source, std::u16string_view target);
std::u16string loadFirstField(std::u16string_view path);
void saveBinFile(std::u16string_view path, std::u16string_view data);
void saveAppend(std::u16string_view path, std::u16string_view data);
std::u16string version();
void setFontSmoothing(bool on);
std::int32_t getFontSmoothing();
std::u16string macAddress();
// The address from the interface listing's lines: the last line whose first word is an
// address "XX-XX-XX-XX-XX-XX", without its dashes; "000000000000" when none.
std::u16string macFromListing(std::u16string_view listing);

// ---- Control registration
// 0 empty path or no worker, 1 not loadable, 2 no entry point or bad mode, 3 timed out,
// 4 registered, 5 unregistered.
int registerServerFile(std::u16string_view path, int mode);
void setRegistrationTimeout(std::chrono::milliseconds timeout);
bool canCreateObject(std::u16string_view progId);
int activeXCheck(std::u16string_view fileName, std::u16string_view progId);

// ---- Keyboard lock (state per thread)
void lockKeyboard(bool lock);
void setPassAll(bool v);
void setPrintOnly(bool v);
void setEscapeExit(bool v);
void setExitKey(bool v);
bool ctrlPFlag();
bool exitKeyFlag();
bool keyboardLocked();

}  // namespace kestrum
