// The open: keyword values, device names, the choice of the name, the files held elsewhere, and
// the platform file; and the implicit connection of a transfer on an unconnected unit.
#include "recio/internal/open.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "platform/file_io.h"
#include "platform/identity.h"
#include "platform/streams.h"
#include "recio/internal/failure.h"
#include "recio/internal/keywords.h"
#include "recio/internal/names.h"
#include "recio/internal/units.h"

namespace recio {
namespace {

// The regular files behind the standard streams, held by the console.
constinit std::array<platform::FileIdentity, 3> gConsoleFiles;

// ---- Keywords

struct Settings {
  OpenStatus status = OpenStatus::kUnknown;
  Access access = Access::kSequential;
  Form form = Form::kFormatted;
  bool blankZero = false;
  bool modeGiven = false;
  Mode mode = Mode::kReadWrite;
  Share share = Share::kCompat;
  int32_t recl = 0;
  std::size_t blockSize = kDefaultBlockSize;
};

Settings ApplyKeywords(const OpenSpec& spec) {
  Settings s;
  const OpenStatus statusDefault = spec.name ? OpenStatus::kUnknown : OpenStatus::kScratch;
  s.status = MatchKeyword(spec.status, statusDefault,
                          std::array<std::string_view, 4>{"OLD", "NEW", "SCRATCH", "UNKNOWN"},
                          ErrorId::kIllegalStatusValue);
  s.access = MatchKeyword(spec.access, Access::kSequential,
                          std::array<std::string_view, 3>{"SEQUENTIAL", "DIRECT", "APPEND"},
                          ErrorId::kIllegalAccessValue);
  const Form formDefault = s.access == Access::kDirect ? Form::kUnformatted : Form::kFormatted;
  s.form = MatchKeyword(spec.form, formDefault,
                        std::array<std::string_view, 3>{"FORMATTED", "UNFORMATTED", "BINARY"},
                        ErrorId::kIllegalFormValue);
  s.blankZero =
      MatchKeyword(spec.blank, Blank::kNull, std::array<std::string_view, 2>{"NULL", "ZERO"},
                   ErrorId::kIllegalBlankValue) == Blank::kZero;
  s.modeGiven = spec.mode.given;
  s.mode = MatchKeyword(spec.mode, Mode::kReadWrite,
                        std::array<std::string_view, 3>{"READ", "WRITE", "READWRITE"},
                        ErrorId::kIllegalModeValue);
  s.share = MatchKeyword(
      spec.share, Share::kCompat,
      std::array<std::string_view, 5>{"COMPAT", "DENYRW", "DENYWR", "DENYRD", "DENYNONE"},
      ErrorId::kIllegalShareValue);
  if (spec.recl) {
    if (*spec.recl < 1) Fail(ErrorId::kIllegalReclValue);
    s.recl = *spec.recl;
  }
  if (spec.blocksize) {
    const int64_t size = std::clamp<int64_t>(*spec.blocksize, 1, 2147483136);
    s.blockSize = static_cast<std::size_t>((size + 511) / 512 * 512);
  }
  return s;
}

// ---- Device names

enum class Device { kNone, kConsole, kError, kNull, kRefused };

Device DeviceOf(std::string_view name) {
  const std::size_t dot = name.rfind('.');
  const std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  const bool extension = dot != std::string_view::npos;
  if (EqualIgnoringCase(stem, "CON")) return Device::kConsole;
  if (EqualIgnoringCase(stem, "NUL")) return Device::kNull;
  if (!extension && EqualIgnoringCase(stem, "USER")) return Device::kConsole;
  if (!extension && EqualIgnoringCase(stem, "ERR")) return Device::kError;
  if (!extension && EqualIgnoringCase(stem, "LINE")) return Device::kRefused;
  for (const std::string_view refused : {"PRN", "LPT1", "LPT2", "LPT3", "LPT4", "COM1", "AUX"}) {
    if (EqualIgnoringCase(stem, refused)) return Device::kRefused;
  }
  return Device::kNone;
}

char DeviceKind(Device device) {
  return device == Device::kConsole ? 'C' : device == Device::kError ? 'E' : '\0';
}

void ConnectDevice(Connection& c, Device device) {
  ConnectionAttributes& a = c.attributes;
  a.kind = RecordKind::kConsole;
  a.isDevice = true;
  switch (device) {
    case Device::kConsole:
      a.joinsConsole = true;
      a.deviceKind = 'C';
      break;
    case Device::kError:
      a.outputHandle = platform::StreamHandle(platform::Stream::kError);
      a.deviceKind = 'E';
      break;
    case Device::kNull: {
      a.mayShareName = true;
      a.deviceKind = 'N';
      const platform::OpenResult opened = platform::OpenNullDevice();
      FailWith(SystemStep::kOpen, opened.error);
      a.inputHandle = a.outputHandle = opened.handle;
      break;
    }
    default:
      Fail(ErrorId::kAccessNotAllowed);
  }
}

// ---- The platform file

platform::AccessMode AccessModeOf(Mode mode) {
  switch (mode) {
    case Mode::kRead:
      return platform::AccessMode::kRead;
    case Mode::kWrite:
      return platform::AccessMode::kWrite;
    default:
      return platform::AccessMode::kReadWrite;
  }
}

// What others may do with the file: COMPAT, like DENYNONE, lets them read and write.
platform::ShareMode ShareModeOf(Share share) {
  switch (share) {
    case Share::kDenyRw:
      return platform::ShareMode::kNone;
    case Share::kDenyWr:
      return platform::ShareMode::kReadOnly;
    case Share::kDenyRd:
      return platform::ShareMode::kWriteOnly;
    default:
      return platform::ShareMode::kReadWrite;
  }
}

platform::Creation CreationOf(OpenStatus status) {
  switch (status) {
    case OpenStatus::kOld:
      return platform::Creation::kMustExist;
    case OpenStatus::kNew:
    case OpenStatus::kScratch:
      return platform::Creation::kCreateExclusive;
    default:
      return platform::Creation::kCreateIfAbsent;
  }
}

// Read-write first; without a MODE, a refusal is retried read-only and then write-only. A pipe
// without a MODE is only read: opened for writing too, it would hold a writer of its own and its
// end would never come; opened for reading, it waits for its writer like every reader of a pipe.
// Direct access needs a file that can be positioned: a pipe is refused before it is opened (the
// open would wait for the other side), any other such file once it is open.
void OpenPlatformFile(Connection& c, const Settings& s, bool isPipe) {
  ConnectionAttributes& a = c.attributes;
  const bool direct = s.access == Access::kDirect;
  if (direct && isPipe) Fail(ErrorId::kAccessNotAllowed, platform::Error::kNotAFile);
  const platform::Creation creation = CreationOf(s.status);
  const platform::ShareMode share = ShareModeOf(s.share);
  const platform::AccessMode tries[3] = {AccessModeOf(s.mode), platform::AccessMode::kRead,
                                         platform::AccessMode::kWrite};
  const int first = !s.modeGiven && isPipe ? 1 : 0;
  const int last = s.modeGiven ? 1 : isPipe ? 2 : 3;
  platform::OpenResult opened;
  for (int i = first; i < last; ++i) {
    opened = platform::OpenFile(a.name.text, creation, tries[i], share);
    if (opened.ok()) {
      a.granted = tries[i];
      break;
    }
    // A name that does not exist or already exists gets the same answer on every try.
    const ErrorId row = RowOf(SystemStep::kOpen, opened.error);
    if (row == ErrorId::kFileNotFound || row == ErrorId::kFileAlreadyExists) break;
  }
  FailWith(SystemStep::kOpen, opened.error);
  if (direct && !opened.positionable) {
    platform::CloseHandle(opened.handle);
    Fail(ErrorId::kAccessNotAllowed, platform::Error::kNotAFile);
  }
  a.inputHandle = a.granted == platform::AccessMode::kWrite ? platform::Handle{} : opened.handle;
  a.outputHandle = a.granted == platform::AccessMode::kRead ? platform::Handle{} : opened.handle;
  // A file created just now is known by its identity from here on.
  a.identity = platform::FileIdentity{true, opened.id};
}

// ---- The steps of an open, in the order that decides which failure wins

// The name: the path exactly (taken as given), the given name without its blanks or, when that is
// blank, the name dialogue's; without a name, the unit's own name or a new scratch name.
void ChooseName(int32_t unit, const OpenSpec& spec, Settings& s, FixedName& name) {
  if (spec.name && spec.nameAsGiven) {
    if (spec.name->empty() || spec.name->size() > kMaxPathLength) Fail(ErrorId::kFileNotFound);
    name.AssignPath({spec.name->data(), spec.name->size()});
  } else if (spec.name) {
    if (s.status == OpenStatus::kScratch) Fail(ErrorId::kScratchIllegalForNamed);
    const std::string_view given(spec.name->data(), std::min(spec.name->size(), kMaxNameLength));
    const std::string_view trimmed = TrimBlanks(given);
    if (trimmed.empty()) {
      RunNameDialogue(unit, name);
    } else {
      name.Assign(trimmed);
    }
  } else if (const Slot* own = FindSlot(unit)) {
    name.AssignPath(own->connection->attributes.name.view());
  } else if (unit == 0 || unit == 5 || unit == 6) {
    name.Assign("CON");  // a preconnected console unit keeps its connection's name
  } else {
    MakeScratchName(name);
    s.status = OpenStatus::kScratch;
  }
}

// A NUL inside a name would silently open another file.
void RefuseNulInName(const FixedName& name) {
  if (std::memchr(name.text, '\0', name.length) != nullptr) Fail(ErrorId::kFileNotFound);
}

// A device loses its extension, is opened as OLD and with console records; direct access or
// unformatted records on it fail.
Device ApplyDevice(const OpenSpec& spec, Settings& s, FixedName& name, RecordKind& kind) {
  kind = s.access == Access::kDirect ? RecordKind::kDirect : RecordKind::kSequential;
  const Device device = spec.nameAsGiven ? Device::kNone : DeviceOf(name.view());
  if (device == Device::kNone) return device;
  name.Assign(name.view().substr(0, name.view().rfind('.')));
  if (s.access == Access::kDirect || s.form == Form::kUnformatted) {
    Fail(ErrorId::kTerminalIoNotConsistent);
  }
  kind = RecordKind::kConsole;
  s.status = OpenStatus::kOld;
  return device;
}

// The console holds the files behind the standard streams, so that no unit writes into one
// (an open with MODE=READ cannot, and may read one); another unit holds its own. Only the null
// device may be connected to several units.
void RefuseFileHeldElsewhere(int32_t unit, Device device, const platform::FileIdentity& identity,
                             const Settings& s) {
  const bool onlyRead = s.modeGiven && s.mode == Mode::kRead;
  if (device == Device::kNone && identity.exists && !onlyRead) {
    for (const platform::FileIdentity& held : gConsoleFiles) {
      if (held == identity) Fail(ErrorId::kFileConnectedToOtherUnit);
    }
  }
  for (const Slot& slot : Slots()) {
    if (!slot.connection || slot.unit == unit) continue;
    const ConnectionAttributes& other = slot.connection->attributes;
    const bool sameFile = device == Device::kNone
                              ? !other.isDevice && other.identity == identity
                              : DeviceKind(device) != 0 && other.deviceKind == DeviceKind(device);
    if (sameFile) Fail(ErrorId::kFileConnectedToOtherUnit);
  }
}

// A unit re-opened on its own file keeps its connection and takes only the blank mode (another
// record kind fails); on another file, its old connection is closed first. True when kept.
bool KeepOrReplaceOwnConnection(int32_t unit, Device device, const FixedName& name,
                                const platform::FileIdentity& identity, RecordKind kind,
                                const Settings& s) {
  Slot* own = FindSlot(unit);
  if (own == nullptr) return false;
  ConnectionAttributes& old = own->connection->attributes;
  const bool sameFile = device == Device::kNone ? !old.isDevice && old.identity == identity
                                                : EqualIgnoringCase(old.name.view(), name.view());
  if (!sameFile) {
    CloseSlot(*own);
    return false;
  }
  old.blankZero = s.blankZero;
  if (old.kind != kind) Fail(ErrorId::kFileAlreadyOpenMismatch);
  return true;
}

// The new connection, in the first free slot; none is made when no slot is free.
void MakeConnection(int32_t unit, Device device, const FixedName& name, RecordKind kind,
                    const Settings& s, bool isPipe) {
  Slot* slot = FreeSlot();
  if (slot == nullptr) Fail(ErrorId::kTooManyUnits);
  auto connection = std::make_unique<Connection>();
  Connection& c = *connection;
  ConnectionAttributes& a = c.attributes;
  a.name.AssignPath(name.view());
  a.kind = kind;
  a.form = s.form;
  a.blankZero = s.blankZero;
  a.deleteAtClose = s.status == OpenStatus::kScratch;
  if (device != Device::kNone) {
    ConnectDevice(c, device);
    c.AllocateBuffer(kConsoleBufferSize + 1);
  } else {
    if (s.access == Access::kDirect) a.slotLength = static_cast<int64_t>(s.recl) + 2;
    c.AllocateBuffer(s.blockSize);
    OpenPlatformFile(c, s, isPipe);
    if (s.access == Access::kAppend) {
      const int64_t end =
          platform::SeekToEnd(a.inputHandle.valid() ? a.inputHandle : a.outputHandle);
      c.state.bufferOffset = end > 0 ? end : 0;
    }
  }
  slot->unit = unit;
  slot->connection = std::move(connection);
}

}  // namespace

void OpenUnit(int32_t unit, const OpenSpec& spec, RequestContext& context) {
  FixedName& name = context.name.emplace();
  if (spec.name) {
    const std::string_view given(spec.name->data(), std::min(spec.name->size(), kMaxNameLength));
    name.Assign(TrimBlanks(given));
  }
  if (unit == kDefaultUnit || unit == kInternalUnit) Fail(ErrorId::kIllegalUnitNumber);
  Settings s = ApplyKeywords(spec);
  ChooseName(unit, spec, s, name);
  RefuseNulInName(name);
  RecordKind kind{};
  const Device device = ApplyDevice(spec, s, name, kind);
  // The identity decides whether the file is held elsewhere, and whether it is a pipe.
  const platform::FileIdentity identity =
      device == Device::kNone ? platform::IdentityOf(name.text) : platform::FileIdentity{};
  RefuseFileHeldElsewhere(unit, device, identity, s);
  if (KeepOrReplaceOwnConnection(unit, device, name, identity, kind, s)) return;
  MakeConnection(unit, device, name, kind, s, identity.isPipe);
}

Connection& ConnectionForTransfer(int32_t unit, bool forWrite, RequestContext& context) {
  if (Connection* connection = ResolveUnit(unit, forWrite)) return *connection;
  // An implicit connection: its failures are failures of an open.
  const Statement statement = context.statement;
  context.statement = Statement::kOpen;
  OpenSpec spec;
  static constexpr char kBlank[1] = {' '};
  spec.name = std::span<const char>(kBlank, 1);
  spec.status = forWrite ? OpenStatus::kUnknown : OpenStatus::kOld;
  OpenUnit(unit, spec, context);
  context.statement = statement;
  Connection* connection = ResolveUnit(unit, forWrite);
  if (connection == nullptr) Fail(ErrorId::kIllegalUnitNumber);
  return *connection;
}

void HoldStandardStreamFiles(const std::array<platform::StreamFacts, 3>& streams) {
  for (std::size_t i = 0; i < streams.size(); ++i) {
    gConsoleFiles[i] = {streams[i].file.has_value(), streams[i].file.value_or(platform::FileId{})};
  }
}

}  // namespace recio
