// The error catalogue of the record layer: the numbers and texts of failures, and of the
// floating-point faults of the program's own arithmetic.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/error.h"

namespace recio {

/// Catalogue rows; each value is the error number reported for the failure (6000 + row).
enum class ErrorId : int32_t {
  kEndOfFile = -1,  // not a catalogue row: the request status of an end of file
  kIntegerOverflowOnInput = 6100,
  kInvalidInteger = 6101,
  kRealIndefinite = 6102,
  kInvalidReal = 6103,
  kRealMathOverflow = 6104,
  kFormattedIoNotConsistent = 6200,
  kTerminalIoNotConsistent = 6202,
  kAEditExpected = 6205,
  kRealEditExpected = 6206,
  kIEditExpected = 6207,
  kFileAlreadyOpenMismatch = 6209,
  kKeepIllegalForScratch = 6300,
  kScratchIllegalForNamed = 6301,
  kMultipleRadix = 6302,
  kIllegalRadix = 6303,
  kIllegalStatusValue = 6304,
  kIllegalModeValue = 6305,
  kIllegalAccessValue = 6306,
  kIllegalBlankValue = 6307,
  kIllegalFormValue = 6308,
  kIllegalShareValue = 6309,
  kIllegalRecordNumber = 6311,
  kIllegalUnitNumber = 6312,
  kIllegalReclValue = 6313,
  kDeleteIllegalReadOnly = 6404,
  kBeyondEndOfFile = 6405,
  kTerminalBufferOverflow = 6407,
  kScratchNameLimit = 6410,
  kFileConnectedToOtherUnit = 6413,
  kAccessNotAllowed = 6414,
  kFileAlreadyExists = 6415,
  kFileNotFound = 6416,
  kTooManyOpenFiles = 6417,
  kTooManyUnits = 6418,
  kShareNotInstalled = 6420,
  kFileReadOnly = 6421,
  kNoSpaceLeft = 6422,
  kFileNotOpenForReading = 6500,
  kEndOfFileEncountered = 6501,
  kLiteralIllegalOnInput = 6509,
  kInternalFileOverflow = 6600,
  kDirectRecordOverflow = 6601,
  kHeapSpaceLimit = 6700,
};

struct CatalogueRow {
  ErrorId id;
  std::string_view text;
};

/// The catalogue in increasing order of error number. Texts are the system's own, blanks included.
inline constexpr std::array kCatalogue{
    CatalogueRow{ErrorId::kIntegerOverflowOnInput, "INTEGER overflow on input"},
    CatalogueRow{ErrorId::kInvalidInteger, "invalid INTEGER"},
    CatalogueRow{ErrorId::kRealIndefinite, "REAL indefinite ( uninitialized or previous error )"},
    CatalogueRow{ErrorId::kInvalidReal, "invalid REAL"},
    CatalogueRow{ErrorId::kRealMathOverflow, "REAL math overflow"},
    CatalogueRow{ErrorId::kFormattedIoNotConsistent,
                 "formatted I/O not consistent with OPEN options"},
    CatalogueRow{ErrorId::kTerminalIoNotConsistent,
                 "terminal I/O not consistent with OPEN options"},
    CatalogueRow{ErrorId::kAEditExpected, "A edit descriptor expected for CHARACTER"},
    CatalogueRow{ErrorId::kRealEditExpected, "E, F, D or G edit descriptor expected for REAL"},
    CatalogueRow{ErrorId::kIEditExpected, "I edit descriptor expected for INTEGER"},
    CatalogueRow{ErrorId::kFileAlreadyOpenMismatch, "file already open : parameter mismatch"},
    CatalogueRow{ErrorId::kKeepIllegalForScratch, "KEEP illegal for scratch file"},
    CatalogueRow{ErrorId::kScratchIllegalForNamed, "SCRATCH illegal for named file"},
    CatalogueRow{ErrorId::kMultipleRadix, "multiple radix specifiers"},
    CatalogueRow{ErrorId::kIllegalRadix, "illegal radix specifier"},
    CatalogueRow{ErrorId::kIllegalStatusValue, "illegal STATUS value"},
    CatalogueRow{ErrorId::kIllegalModeValue, "illegal MODE value"},
    CatalogueRow{ErrorId::kIllegalAccessValue, "illegal ACCESS value"},
    CatalogueRow{ErrorId::kIllegalBlankValue, "illegal BLANK value"},
    CatalogueRow{ErrorId::kIllegalFormValue, "illegal FORM value"},
    CatalogueRow{ErrorId::kIllegalShareValue, "illegal SHARE value"},
    CatalogueRow{ErrorId::kIllegalRecordNumber, "illegal record number"},
    CatalogueRow{ErrorId::kIllegalUnitNumber, "illegal unit number"},
    CatalogueRow{ErrorId::kIllegalReclValue, "illegal RECL value"},
    CatalogueRow{ErrorId::kDeleteIllegalReadOnly, "DELETE illegal for read-only file"},
    CatalogueRow{ErrorId::kBeyondEndOfFile, "external I/O illegal beyond end of file"},
    CatalogueRow{ErrorId::kTerminalBufferOverflow, "terminal buffer overflow"},
    CatalogueRow{ErrorId::kScratchNameLimit, "scratch file name limit exceeded"},
    CatalogueRow{ErrorId::kFileConnectedToOtherUnit, "file already connected to a different unit"},
    CatalogueRow{ErrorId::kAccessNotAllowed, "access not allowed"},
    CatalogueRow{ErrorId::kFileAlreadyExists, "file already exists"},
    CatalogueRow{ErrorId::kFileNotFound, "file not found"},
    CatalogueRow{ErrorId::kTooManyOpenFiles, "too many open files"},
    CatalogueRow{ErrorId::kTooManyUnits, "too many units connected"},
    CatalogueRow{ErrorId::kShareNotInstalled, "SHARE not installed"},
    CatalogueRow{ErrorId::kFileReadOnly, "file read-only or locked against writing"},
    CatalogueRow{ErrorId::kNoSpaceLeft, "no space left on device"},
    CatalogueRow{ErrorId::kFileNotOpenForReading, "file not open for reading or file locked"},
    CatalogueRow{ErrorId::kEndOfFileEncountered, "end of file encountered"},
    CatalogueRow{ErrorId::kLiteralIllegalOnInput,
                 "H or apostrophe edit descriptor illegal on input"},
    CatalogueRow{ErrorId::kInternalFileOverflow, "internal file overflow"},
    CatalogueRow{ErrorId::kDirectRecordOverflow, "direct record overflow"},
    CatalogueRow{ErrorId::kHeapSpaceLimit, "heap space limit exceeded"},
};

/// A floating-point fault: its error number (reported with the letter M) and its word.
struct FaultRow {
  int32_t number;
  std::string_view word;
};

/// The fault rows in increasing order of error number; recio::MathFault follows this order.
inline constexpr std::array kFaultRows{
    FaultRow{6101, "invalid"},        FaultRow{6103, "divide by zero"},  FaultRow{6104, "overflow"},
    FaultRow{6110, "stack overflow"}, FaultRow{6111, "stack underflow"},
};

/// Whether the numbers of `rows`, taken by `number`, are unique and in increasing order.
template <typename Rows, typename Number>
constexpr bool SortedAndUnique(const Rows& rows, Number number) {
  for (std::size_t i = 1; i < rows.size(); ++i) {
    if (number(rows[i - 1]) >= number(rows[i])) return false;
  }
  return true;
}
static_assert(SortedAndUnique(kCatalogue,
                              [](const CatalogueRow& row) { return static_cast<int32_t>(row.id); }),
              "catalogue rows must be unique and in increasing order");
static_assert(SortedAndUnique(kFaultRows, [](const FaultRow& row) { return row.number; }),
              "fault rows must be unique and in increasing order");

/// The catalogue text of a row; empty for a value that is not a row.
constexpr std::string_view CatalogueText(ErrorId id) {
  for (const CatalogueRow& row : kCatalogue) {
    if (row.id == id) return row.text;
  }
  return {};
}

/// The steps of a request at which the system may refuse; each reports a refusal by rows of its
/// own.
enum class SystemStep : uint8_t { kOpen, kRead, kWrite, kClose, kRemove };

/// The catalogue row that reports the system's refusal `error` at `step` (error not kNone). A
/// close reports as a write does: a file system may report a failed write only at the close.
constexpr ErrorId RowOf(SystemStep step, platform::Error error) {
  using platform::Error;
  switch (step) {
    case SystemStep::kOpen:
      switch (error) {
        case Error::kNotFound:
        case Error::kNoSuchFolder:
        case Error::kNameTooLong:
        case Error::kBadName:
        case Error::kTooManyLinks:
          return ErrorId::kFileNotFound;
        case Error::kExists:
          return ErrorId::kFileAlreadyExists;
        case Error::kTooManyOpenFiles:
          return ErrorId::kTooManyOpenFiles;
        case Error::kInvalid:
          return ErrorId::kShareNotInstalled;
        case Error::kNoMemory:
          return ErrorId::kHeapSpaceLimit;
        default:  // refused access, a folder, a device's name, a busy file, anything unforeseen
          return ErrorId::kAccessNotAllowed;
      }
    case SystemStep::kRead:
      return ErrorId::kFileNotOpenForReading;
    case SystemStep::kWrite:
    case SystemStep::kClose:
      switch (error) {
        case Error::kNoSpace:
        case Error::kQuotaExceeded:
        case Error::kFileTooLarge:
          return ErrorId::kNoSpaceLeft;
        default:  // opened for reading only, refused access, a failed device, no reader, ...
          return ErrorId::kFileReadOnly;
      }
    case SystemStep::kRemove:
      break;
  }
  return ErrorId::kDeleteIllegalReadOnly;
}

constexpr bool IsEndOfFile(ErrorId id) {
  return id == ErrorId::kEndOfFileEncountered || id == ErrorId::kBeyondEndOfFile;
}

}  // namespace recio
