// The unit table, the console connections, open and close, and the name dialogue.
#include "recio/units.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "recio/failure.h"
#include "recio/platform.h"

namespace recio {
namespace {

struct Slot {
  int32_t unit = 0;
  std::unique_ptr<Connection> connection;
};

std::array<Slot, kUnitSlots> gSlots;
Connection gConsole;
Connection gStdoutConsole;
bool gSeparateStdout = false;
char gConsoleBuffer[kConsoleBufferSize + 1];
int gArgc = 0;
char** gArgv = nullptr;
int gNextArgument = 1;
// The regular files behind standard input, output and error: the console holds them, so no unit
// may write into (or read from) the file a standard stream is connected to.
std::array<platform::FileIdentity, 3> gConsoleFiles;
// The name of the open or close in progress; a failure report shows it after the request's
// own frames are gone. One request runs at a time.
constinit FixedName gNameInProgress;

std::string_view TrimBlanks(std::string_view text) {
  // A name may also have been left as NUL characters by a caller that never filled it.
  constexpr std::string_view kPad{" \0", 2};
  std::size_t first = text.find_first_not_of(kPad);
  if (first == std::string_view::npos) return {};
  std::size_t last = text.find_last_not_of(kPad);
  return text.substr(first, last - first + 1);
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]);
    unsigned char y = static_cast<unsigned char>(b[i]);
    if (x >= 'a' && x <= 'z') x = static_cast<unsigned char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<unsigned char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

Slot* FindSlot(int32_t unit) {
  for (Slot& slot : gSlots) {
    if (slot.connection && slot.unit == unit) return &slot;
  }
  return nullptr;
}

Slot* FreeSlot() {
  for (Slot& slot : gSlots) {
    if (!slot.connection) return &slot;
  }
  return nullptr;
}

void InitialiseConsole(Connection& c, int inputHandle, int outputHandle) {
  c.name.Assign("CON");
  c.kind = RecordKind::kConsole;
  c.inputHandle = inputHandle;
  c.outputHandle = outputHandle;
  c.isDevice = true;
}

// ---- Keywords

template <typename E, std::size_t N>
E Match(const Keyword<E>& keyword, E fallback, const std::array<std::string_view, N>& names,
        ErrorId illegal) {
  if (!keyword.given) return fallback;
  if (!keyword.isText) return keyword.value;
  std::string_view text = TrimBlanks(keyword.text);
  for (std::size_t i = 0; i < N; ++i) {
    if (EqualIgnoringCase(text, names[i])) return static_cast<E>(i);
  }
  Fail(illegal);
}

struct Settings {
  OpenStatus status = OpenStatus::kUnknown;
  Access access = Access::kSequential;
  Form form = Form::kFormatted;
  bool blankZero = false;
  bool modeGiven = false;
  Mode mode = Mode::kReadWrite;
  int32_t recl = 0;
  std::size_t blockSize = kDefaultBlockSize;
};

Settings ApplyKeywords(const OpenSpec& spec) {
  Settings s;
  OpenStatus statusDefault = spec.name ? OpenStatus::kUnknown : OpenStatus::kScratch;
  s.status = Match(spec.status, statusDefault,
                   std::array<std::string_view, 4>{"OLD", "NEW", "SCRATCH", "UNKNOWN"},
                   ErrorId::kIllegalStatusValue);
  s.access = Match(spec.access, Access::kSequential,
                   std::array<std::string_view, 3>{"SEQUENTIAL", "DIRECT", "APPEND"},
                   ErrorId::kIllegalAccessValue);
  Form formDefault = s.access == Access::kDirect ? Form::kUnformatted : Form::kFormatted;
  s.form = Match(spec.form, formDefault,
                 std::array<std::string_view, 3>{"FORMATTED", "UNFORMATTED", "BINARY"},
                 ErrorId::kIllegalFormValue);
  s.blankZero = Match(spec.blank, Blank::kNull, std::array<std::string_view, 2>{"NULL", "ZERO"},
                      ErrorId::kIllegalBlankValue) == Blank::kZero;
  s.modeGiven = spec.mode.given;
  s.mode = Match(spec.mode, Mode::kReadWrite,
                 std::array<std::string_view, 3>{"READ", "WRITE", "READWRITE"},
                 ErrorId::kIllegalModeValue);
  // Share modes have no counterpart here: the value is checked and otherwise ignored.
  Match(spec.share, Share::kCompat,
        std::array<std::string_view, 5>{"COMPAT", "DENYRW", "DENYWR", "DENYRD", "DENYNONE"},
        ErrorId::kIllegalShareValue);
  if (spec.recl) {
    if (*spec.recl < 1) Fail(ErrorId::kIllegalReclValue);
    s.recl = *spec.recl;
  }
  if (spec.blocksize) {
    int64_t size = std::clamp<int64_t>(*spec.blocksize, 1, 2147483136);
    s.blockSize = static_cast<std::size_t>((size + 511) / 512 * 512);
  }
  return s;
}

// ---- Device names

enum class Device { kNone, kConsole, kError, kNull, kRefused };

Device DeviceOf(std::string_view name) {
  std::size_t dot = name.rfind('.');
  std::string_view stem = dot == std::string_view::npos ? name : name.substr(0, dot);
  bool extension = dot != std::string_view::npos;
  if (EqualIgnoringCase(stem, "CON")) return Device::kConsole;
  if (EqualIgnoringCase(stem, "NUL")) return Device::kNull;
  if (!extension && EqualIgnoringCase(stem, "USER")) return Device::kConsole;
  if (!extension && EqualIgnoringCase(stem, "ERR")) return Device::kError;
  if (!extension && EqualIgnoringCase(stem, "LINE")) return Device::kRefused;
  for (std::string_view refused : {"PRN", "LPT1", "LPT2", "LPT3", "LPT4", "COM1", "AUX"}) {
    if (EqualIgnoringCase(stem, refused)) return Device::kRefused;
  }
  return Device::kNone;
}

// ---- Name dialogue

void WriteToStdout(std::string_view text) {
  platform::IoResult wrote = platform::WriteAll(platform::kStdout, text.data(), text.size());
  if (!wrote.ok) Fail(wrote.failure);
}

void RunNameDialogue(int32_t unit, FixedName& name) {
  if (gNextArgument < gArgc) {
    std::string_view argument = gArgv[gNextArgument++];
    std::string_view trimmed = TrimBlanks(argument.substr(0, kMaxNameLength));
    if (!trimmed.empty()) {
      name.Assign(trimmed);
      return;
    }
  }
  if (ConsoleOutput().linePending) WriteToStdout("\r\n");
  char question[96];
  std::string number = std::to_string(unit);
  std::string_view intro = "File name missing or blank - please enter file name\r\nUNIT ";
  std::size_t length = 0;
  for (std::string_view part : {intro, std::string_view{number}, std::string_view{"? "}}) {
    std::memcpy(question + length, part.data(), part.size());
    length += part.size();
  }
  Connection& console = ConsoleInput();
  std::size_t limit = console.interactiveInput ? 258 : 260;
  char line[260];
  for (;;) {
    WriteToStdout({question, length});
    std::size_t got = ReadDialogueLine(console, std::span<char>(line, limit));
    std::string_view trimmed = TrimBlanks({line, got});
    if (!trimmed.empty()) {
      name.Assign(trimmed);
      return;
    }
  }
}

// A unique name in the current directory from the pattern ZZXXXXXX.
void MakeScratchName(FixedName& name) {
  constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
  uint32_t seed = platform::ProcessNumber();
  for (uint32_t attempt = 0; attempt < 1000; ++attempt) {
    uint32_t value = seed * 1000u + attempt;
    char text[9] = "ZZXXXXXX";
    for (int i = 7; i >= 2; --i) {
      text[i] = kDigits[value % 36];
      value /= 36;
    }
    if (!platform::Exists(text)) {
      name.Assign(text);
      return;
    }
  }
  Fail(ErrorId::kScratchNameLimit);
}

// ---- Opening the platform file

platform::Direction DirectionOf(Mode mode) {
  switch (mode) {
    case Mode::kRead:
      return platform::Direction::kRead;
    case Mode::kWrite:
      return platform::Direction::kWrite;
    default:
      return platform::Direction::kReadWrite;
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
void OpenPlatformFile(Connection& c, const Settings& s, bool isPipe) {
  platform::Creation creation = CreationOf(s.status);
  platform::Direction tries[3] = {DirectionOf(s.mode), platform::Direction::kRead,
                                  platform::Direction::kWrite};
  int first = !s.modeGiven && isPipe ? 1 : 0;
  int last = s.modeGiven ? 1 : isPipe ? 2 : 3;
  platform::OpenResult opened;
  for (int i = first; i < last; ++i) {
    opened = platform::OpenFile(c.name.text, creation, tries[i]);
    if (opened.handle >= 0) {
      c.granted = tries[i];
      break;
    }
    // A name that does not exist or already exists gets the same answer on every try.
    if (opened.failure == ErrorId::kFileNotFound || opened.failure == ErrorId::kFileAlreadyExists)
      break;
  }
  if (opened.handle < 0) Fail(opened.failure);
  c.inputHandle = c.granted == platform::Direction::kWrite ? -1 : opened.handle;
  c.outputHandle = c.granted == platform::Direction::kRead ? -1 : opened.handle;
  // A file created just now is known by its identity from here on.
  c.identity = platform::FileIdentity{true, opened.device, opened.inode, {}};
}

void ConnectDevice(Connection& c, Device device) {
  c.kind = RecordKind::kConsole;
  c.isDevice = true;
  switch (device) {
    case Device::kConsole:
      c.joinsConsole = true;
      c.deviceKind = 'C';
      break;
    case Device::kError:
      c.outputHandle = platform::kStderr;
      c.deviceKind = 'E';
      break;
    case Device::kNull: {
      c.mayShareName = true;
      c.deviceKind = 'N';
      platform::OpenResult opened = platform::OpenFile("/dev/null", platform::Creation::kMustExist,
                                                       platform::Direction::kReadWrite);
      if (opened.handle < 0) Fail(opened.failure);
      c.inputHandle = c.outputHandle = opened.handle;
      break;
    }
    default:
      Fail(ErrorId::kAccessNotAllowed);
  }
}

int OwnHandle(const Connection& c) {
  int handle = c.inputHandle >= 0 ? c.inputHandle : c.outputHandle;
  return handle > platform::kStderr ? handle : -1;
}

// Ends a connection: buffered output out (unless deleted), a pending console line ended, the
// handle closed, the file removed for DELETE. The slot is freed by the caller.
void FinishConnection(Connection& c, bool remove) {
  ErrorId failure{};
  bool failed = false;
  try {
    if (!remove && c.kind == RecordKind::kSequential && c.lastWasWrite) FlushSequential(c);
  } catch (const RequestFailure& flush) {
    failure = flush.id;
    failed = true;
  }
  if (c.kind == RecordKind::kConsole && c.linePending && c.CanWrite()) {
    c.linePending = c.lineHeld = false;
    platform::IoResult wrote = platform::WriteAll(c.outputHandle, "\r\n", 2);
    if (!wrote.ok && !failed) {
      failure = wrote.failure;
      failed = true;
    }
  }
  // The handle is closed even when the last buffer could not be written; a file system that
  // reports a failed write only at the close fails the close.
  int handle = OwnHandle(c);
  if (handle >= 0) {
    platform::IoResult closed = platform::CloseHandle(handle);
    if (!closed.ok && !failed) {
      failure = closed.failure;
      failed = true;
    }
  }
  c.inputHandle = c.outputHandle = -1;
  if (failed) Fail(failure);
  if (remove && !c.isDevice) {
    platform::IoResult removed = platform::RemoveFile(c.name.text);
    if (!removed.ok) Fail(removed.failure);
  }
}

bool CloseRemoves(const Connection& c, Keyword<CloseStatus> status) {
  CloseStatus fallback = c.deleteAtClose ? CloseStatus::kDelete : CloseStatus::kKeep;
  CloseStatus chosen = Match(status, fallback, std::array<std::string_view, 2>{"KEEP", "DELETE"},
                             ErrorId::kIllegalStatusValue);
  if (chosen == CloseStatus::kKeep && c.deleteAtClose) Fail(ErrorId::kKeepIllegalForScratch);
  return chosen == CloseStatus::kDelete;
}

void CloseSlot(Slot& slot, Keyword<CloseStatus> status) {
  bool remove = CloseRemoves(*slot.connection, status);
  std::unique_ptr<Connection> connection = std::move(slot.connection);
  FinishConnection(*connection, remove);
}

}  // namespace

// ---- Console

Connection& ConsoleInput() {
  return gConsole;
}
Connection& ConsoleOutput() {
  return gSeparateStdout ? gStdoutConsole : gConsole;
}
bool ConsoleIsShared() {
  return !gSeparateStdout;
}

void Start(int argc, char** argv) noexcept {
  // Before anything else: no file of the run may take the number of a closed standard stream.
  std::array<platform::StreamInfo, 3> streams = platform::PrepareStandardStreams();
  platform::IgnoreWriteSignals();
  for (std::size_t i = 0; i < streams.size(); ++i) {
    gConsoleFiles[i] = {streams[i].regularFile, streams[i].device, streams[i].inode, {}};
  }
  gArgc = argc;
  gArgv = argv;
  gNextArgument = 1;
  bool inputIsTerminal = streams[platform::kStdin].terminal;
  bool outputIsTerminal = streams[platform::kStdout].terminal;
  InitialiseConsole(gConsole, platform::kStdin, platform::kStdout);
  gConsole.buffer = gConsoleBuffer;
  gConsole.capacity = kConsoleBufferSize;
  gConsole.interactiveInput = inputIsTerminal;
  gSeparateStdout = !(inputIsTerminal && outputIsTerminal);
  if (gSeparateStdout) InitialiseConsole(gStdoutConsole, -1, platform::kStdout);
  platform::AtExit([] {
    // main returned without the stop: the termination work still runs once.
    Terminate(0);
  });
}

// ---- Resolution

Connection* ResolveUnit(int32_t unit, bool forWrite) {
  if (unit == kInternalUnit) Fail(ErrorId::kIllegalUnitNumber);
  if (unit != kDefaultUnit) {
    if (Slot* slot = FindSlot(unit)) {
      if (!slot->connection->joinsConsole) return slot->connection.get();
    } else if (unit != 0 && unit != 5 && unit != 6) {
      return nullptr;
    }
  }
  return forWrite ? &ConsoleOutput() : &ConsoleInput();
}

bool IsUnitConnected(int32_t unit) {
  if (unit == kInternalUnit) return false;
  if (unit == kDefaultUnit || unit == 0 || unit == 5 || unit == 6) return true;
  return FindSlot(unit) != nullptr;
}

int ConnectedUnits(int32_t (&units)[kUnitSlots]) {
  int count = 0;
  for (const Slot& slot : gSlots) {
    if (slot.connection) units[count++] = slot.unit;
  }
  return count;
}

Connection& ConnectionForTransfer(int32_t unit, bool forWrite, RequestContext& context) {
  if (Connection* connection = ResolveUnit(unit, forWrite)) return *connection;
  // An implicit connection: its failures are failures of an open.
  Statement statement = context.statement;
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

// ---- Open

void OpenUnit(int32_t unit, const OpenSpec& spec, RequestContext& context) {
  FixedName& name = gNameInProgress;
  name.length = 0;
  context.name = &name;
  if (spec.name) {
    std::string_view given(spec.name->data(), std::min(spec.name->size(), kMaxNameLength));
    name.Assign(TrimBlanks(given));
  }
  if (unit == kDefaultUnit || unit == kInternalUnit) Fail(ErrorId::kIllegalUnitNumber);
  Settings s = ApplyKeywords(spec);

  if (spec.name && spec.nameAsGiven) {
    // The path exactly: none cut, no blanks dropped, no dialogue, no device names.
    if (spec.name->empty() || spec.name->size() > kMaxPathLength) Fail(ErrorId::kFileNotFound);
    name.AssignPath({spec.name->data(), spec.name->size()});
  } else if (spec.name) {
    if (s.status == OpenStatus::kScratch) Fail(ErrorId::kScratchIllegalForNamed);
    std::string_view given(spec.name->data(), std::min(spec.name->size(), kMaxNameLength));
    std::string_view trimmed = TrimBlanks(given);
    if (trimmed.empty()) {
      RunNameDialogue(unit, name);
    } else {
      name.Assign(trimmed);
    }
  } else if (Slot* own = FindSlot(unit)) {
    name = own->connection->name;
  } else if (unit == 0 || unit == 5 || unit == 6) {
    name.Assign("CON");  // a preconnected console unit keeps its connection's name
  } else {
    MakeScratchName(name);
    s.status = OpenStatus::kScratch;
  }
  // A NUL inside a name would silently open another file.
  if (std::memchr(name.text, '\0', name.length) != nullptr) Fail(ErrorId::kFileNotFound);

  Device device = spec.nameAsGiven ? Device::kNone : DeviceOf(name.view());
  RecordKind kind = s.access == Access::kDirect ? RecordKind::kDirect : RecordKind::kSequential;
  if (device != Device::kNone) {
    std::string_view stem = name.view().substr(0, name.view().rfind('.'));
    name.Assign(stem);
    if (s.access == Access::kDirect || s.form == Form::kUnformatted) {
      Fail(ErrorId::kTerminalIoNotConsistent);
    }
    kind = RecordKind::kConsole;
    s.status = OpenStatus::kOld;
  }

  // The identity decides whether another unit or a standard stream holds the file, and whether
  // the file is a pipe.
  platform::FileIdentity identity;
  if (device == Device::kNone) {
    identity = platform::IdentityOf(name.text);
    if (identity.exists) {
      for (const platform::FileIdentity& held : gConsoleFiles) {
        if (held == identity) Fail(ErrorId::kFileConnectedToOtherUnit);
      }
    }
  }
  char deviceKind = device == Device::kConsole ? 'C' : device == Device::kError ? 'E' : '\0';
  for (Slot& slot : gSlots) {
    if (!slot.connection || slot.unit == unit) continue;
    const Connection& other = *slot.connection;
    // Only the null device may be connected to several units.
    bool sameFile = device == Device::kNone ? !other.isDevice && other.identity == identity
                                            : deviceKind != 0 && other.deviceKind == deviceKind;
    if (sameFile) Fail(ErrorId::kFileConnectedToOtherUnit);
  }

  if (Slot* own = FindSlot(unit)) {
    Connection& old = *own->connection;
    bool sameFile = device == Device::kNone ? !old.isDevice && old.identity == identity
                                            : EqualIgnoringCase(old.name.view(), name.view());
    if (sameFile) {
      old.blankZero = s.blankZero;
      if (old.kind != kind) Fail(ErrorId::kFileAlreadyOpenMismatch);
      return;
    }
    CloseSlot(*own, {});
  }

  Slot* slot = FreeSlot();
  if (slot == nullptr) Fail(ErrorId::kTooManyUnits);

  auto connection = std::make_unique<Connection>();
  Connection& c = *connection;
  c.name = name;
  c.kind = kind;
  c.form = s.form;
  c.blankZero = s.blankZero;
  c.deleteAtClose = s.status == OpenStatus::kScratch;
  if (device != Device::kNone) {
    ConnectDevice(c, device);
    c.AllocateBuffer(kConsoleBufferSize + 1);
  } else {
    if (kind == RecordKind::kDirect) c.slotLength = static_cast<int64_t>(s.recl) + 2;
    c.AllocateBuffer(s.blockSize);
    OpenPlatformFile(c, s, identity.isPipe);
    if (s.access == Access::kAppend) {
      int64_t end = platform::SeekToEnd(c.inputHandle >= 0 ? c.inputHandle : c.outputHandle);
      c.bufferOffset = end > 0 ? end : 0;
    }
  }
  slot->unit = unit;
  slot->connection = std::move(connection);
}

// ---- Close

// The console stays connected after a close; a pending line on it is ended.
void EndConsoleLine(Connection& console) {
  if (console.linePending && console.CanWrite()) {
    console.linePending = console.lineHeld = false;
    platform::IoResult wrote = platform::WriteAll(console.outputHandle, "\r\n", 2);
    if (!wrote.ok) Fail(wrote.failure);
  }
}

void CloseUnit(int32_t unit, Keyword<CloseStatus> status, RequestContext& context) {
  Slot* slot = FindSlot(unit);
  if (slot == nullptr) {
    if (unit != kDefaultUnit && unit != 0 && unit != 5 && unit != 6) return;
    // Unit 5 is the console input; 0, 6 and `*` close on the console output.
    Connection& console = unit == 5 ? ConsoleInput() : ConsoleOutput();
    context.connection = &console;
    CloseRemoves(console, status);
    EndConsoleLine(console);
    return;
  }
  context.connection = slot->connection.get();
  if (slot->connection->joinsConsole) {
    CloseRemoves(*slot->connection, status);
    slot->connection.reset();
    context.connection = &ConsoleOutput();
    EndConsoleLine(ConsoleOutput());
    return;
  }
  gNameInProgress.AssignPath(slot->connection->name.view());
  context.name = &gNameInProgress;
  context.connection = nullptr;  // the connection is gone once the close is under way
  CloseSlot(*slot, status);
}

}  // namespace recio
