// The record layer's requests: open, close, inquire, formatted read and write, the stop.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string_view>

#include "platform/error.h"
#include "recio/errors.h"
#include "recio/items.h"
#include "recio/layout.h"

namespace recio {

/// The default unit `*`: a value no other unit takes.
inline constexpr int32_t kDefaultUnit = std::numeric_limits<int32_t>::min();
/// The unit of internal records; never connected to a file.
inline constexpr int32_t kInternalUnit = 64;

/// The text of a numeric field that failed to convert: the characters it collected (blanks and
/// tabs dropped), at most its width.
struct FieldText {
  static constexpr std::size_t kCapacity = 128;  // the widest field a layout may have
  char chars[kCapacity] = {};
  std::size_t length = 0;

  std::string_view view() const { return {chars, length}; }
};

/// How a request ended, for a caller that wants more than the status: filled at the end of every
/// request that names it in its flags, whether it went well or not.
struct Outcome {
  int32_t status = 0;  // the request status, as returned
  int64_t record = 0;  // a read: the number (from 1) of the record it ended or failed on; else 0
  FieldText field;     // the numeric field that failed to convert; empty when none did
  ::platform::Error cause =
      ::platform::Error::kNone;  // why the system refused an open, read or write
};

/// The two request flags: failures come back as a status (status), or at least the end of file
/// does (end). A request with neither ends the run on any failure. `outcome`, when set, receives
/// the request's outcome.
struct Flags {
  bool status = false;
  bool end = false;
  Outcome* outcome = nullptr;
};

enum class OpenStatus { kOld, kNew, kScratch, kUnknown };
enum class Access { kSequential, kDirect, kAppend };
enum class Form { kFormatted, kUnformatted, kBinary };
enum class Blank { kNull, kZero };
enum class Mode { kRead, kWrite, kReadWrite };
enum class Share { kCompat, kDenyRw, kDenyWr, kDenyRd, kDenyNone };
enum class CloseStatus { kKeep, kDelete };

/// A keyword value of an open or close: not given, fixed in code, or given as text at run time
/// (matched without leading and trailing blanks, ignoring case).
template <typename E>
struct Keyword {
  constexpr Keyword() = default;
  constexpr Keyword(E fixed) : given{true}, value{fixed} {}
  constexpr Keyword(std::string_view asText) : given{true}, isText{true}, text{asText} {}
  bool given = false;
  bool isText = false;
  E value{};
  std::string_view text;
};

/// The keywords of an open. `name` unset means no file name was given at all.
struct OpenSpec {
  std::optional<std::span<const char>> name;
  Keyword<OpenStatus> status;
  Keyword<Access> access;
  Keyword<Form> form;
  Keyword<Blank> blank;
  Keyword<Mode> mode;
  Keyword<Share> share;
  std::optional<int32_t> recl;
  std::optional<int32_t> blocksize;
  /// The name is a path taken exactly as given: no blanks are dropped, no name is a device, an
  /// empty name does not ask for one, and the path may be longer than the usual 259 characters.
  bool nameAsGiven = false;
};

/// Connects the console, records the command-line arguments for the name dialogue and arranges
/// termination. Called once, first thing in main.
void Start(int argc, char** argv) noexcept;

/// Opens `unit`. Returns 0, or the error number when `flags.status` is set; otherwise a failure
/// ends the run with the failure message.
int32_t Open(int32_t unit, const OpenSpec& spec, Flags flags = {}) noexcept;

/// Closes `unit` (nothing happens to an unconnected one). Same result rules as Open.
int32_t Close(int32_t unit, Keyword<CloseStatus> status = {}, Flags flags = {}) noexcept;

/// Whether `unit` resolves to a connection. Never fails.
bool Inquire(int32_t unit) noexcept;

/// The text of a request status: the catalogue text of an error number, "end of file
/// encountered" for -1, empty for 0 or a number that is not in the catalogue.
std::string_view StatusText(int32_t status) noexcept;

/// Formatted read of whole records from `unit` into the items. Returns 0, -1 for an end of file
/// when wanted, or the error number when wanted.
int32_t Read(int32_t unit, const Layout& layout, std::initializer_list<InputItem> items,
             Flags flags = {}) noexcept;

/// Formatted write of `items` to `unit` (a sequential connection or the console).
int32_t Write(int32_t unit, const Layout& layout, std::initializer_list<OutputItem> items,
              Flags flags = {}) noexcept;

/// Formatted write to a direct-access `unit`, starting at record `recordNumber`.
int32_t WriteRecord(int32_t unit, int32_t recordNumber, const Layout& layout,
                    std::initializer_list<OutputItem> items, Flags flags = {}) noexcept;

/// Formatted write into an internal record (unit 64), blank-filled after the last column written.
int32_t WriteInternal(std::span<char> record, const Layout& layout,
                      std::initializer_list<OutputItem> items, Flags flags = {}) noexcept;

/// The end of a run by the stop: "Stop - Program terminated.", termination, then the exit code
/// (0 for the normal end; the status report passes 1 when it reports a failure).
[[noreturn]] void Stop(int exitCode = 0) noexcept;

/// Floating-point faults of the program's own real arithmetic, in the order of the catalogue's
/// fault rows.
enum class MathFault { kInvalid, kDivideByZero, kOverflow, kStackOverflow, kStackUnderflow };

/// The request status of an end of file.
inline constexpr int32_t kEndOfFileStatus = -1;
/// The request status of an open with STATUS NEW of a name that exists.
inline constexpr int32_t kFileExistsStatus = 6415;

/// Writes the floating-point fault message to standard error and ends the run with exit code 1.
[[noreturn]] void ReportMathFault(MathFault fault) noexcept;

/// The word of a floating-point fault in its message, such as "overflow".
std::string_view MathFaultWord(MathFault fault) noexcept;

}  // namespace recio
