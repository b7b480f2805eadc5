// The console's record port against the record-port contract, over pipes: records read from
// redirected input (runs, their ends, skips, the end of the input, Ctrl-Z lines) and records
// written with carriage control.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

#include <string>
#include <string_view>
#include <vector>

#include "recio/internal/console.h"
#include "recio/internal/failure.h"

namespace recio {
namespace {

// The system's anonymous pipes: Windows ends one with a broken pipe where POSIX reads 0 bytes,
// and the port must take both for the end of the input.
struct Pipe {
  platform::Handle reading;
  platform::Handle writing;
};

#ifdef _WIN32
bool MakePipe(Pipe& pipe) {
  HANDLE ends[2];
  if (!CreatePipe(&ends[0], &ends[1], nullptr, 0)) return false;
  pipe = {platform::Handle{reinterpret_cast<intptr_t>(ends[0])},
          platform::Handle{reinterpret_cast<intptr_t>(ends[1])}};
  return true;
}
void CloseEnd(platform::Handle& end) {
  if (end.valid()) CloseHandle(reinterpret_cast<HANDLE>(end.value));
  end = {};
}
#else
bool MakePipe(Pipe& pipe) {
  int ends[2];
  if (::pipe(ends) != 0) return false;
  pipe = {platform::Handle{ends[0]}, platform::Handle{ends[1]}};
  return true;
}
void CloseEnd(platform::Handle& end) {
  if (end.valid()) close(static_cast<int>(end.value));
  end = {};
}
#endif

// A console-kind connection on two pipes: what it reads is written into the first beforehand,
// what it writes is taken from the second afterwards.
class ConsolePortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakePipe(input_));
    ASSERT_TRUE(MakePipe(output_));
    connection_ = Connection{};
    connection_.attributes.kind = RecordKind::kConsole;
    connection_.attributes.inputHandle = input_.reading;
    connection_.attributes.outputHandle = output_.writing;
    connection_.AllocateBuffer(kConsoleBufferSize + 1);
  }
  void TearDown() override {
    for (Pipe* pipe : {&input_, &output_}) {
      CloseEnd(pipe->reading);
      CloseEnd(pipe->writing);
    }
  }

  void Type(const std::string& bytes) {
    ASSERT_TRUE(platform::WriteAll(input_.writing, bytes.data(), bytes.size()).ok());
    CloseEnd(input_.writing);
  }

  // Every record as the formatter sees it, taken in runs of at most `wanted` characters and
  // ended by "|", until the input fails ("<end>" for an end of file).
  std::string ReadRecords(std::size_t wanted) {
    console::ConsolePort port(connection_);
    std::string seen;
    try {
      for (;;) {
        for (std::span<const char> run = port.Run(wanted); !run.empty(); run = port.Run(wanted)) {
          seen.append(run.data(), run.size());
          port.Advance(run.size());
        }
        EXPECT_TRUE(port.Run(wanted).empty()) << "a record's end stays until it is skipped";
        seen += "|";
        port.SkipRecord();
      }
    } catch (const RequestFailure& failure) {
      seen += IsEndOfFile(failure.id) ? "<end>" : "<failed>";
    }
    return seen;
  }

  std::string Written() {
    CloseEnd(output_.writing);
    std::string bytes;
    char chunk[512];
    for (platform::IoResult got = platform::ReadSome(output_.reading, chunk, sizeof chunk);
         got.ok() && got.count > 0;
         got = platform::ReadSome(output_.reading, chunk, sizeof chunk)) {
      bytes.append(chunk, got.count);
    }
    return bytes;
  }

  Pipe input_;
  Pipe output_;
  Connection connection_;
};

TEST_F(ConsolePortTest, RecordsOfRedirectedInput) {
  struct Case {
    std::string input;
    std::string records;
  };
  const std::string longLine(300, 'x');
  for (const Case& c : std::vector<Case>{
           {"one\ntwo\r\n\nthree", "one|two||three|<end>"},  // CR LF, an empty line, no last LF
           {"", "<end>"},
           {"ab\x1a\r\nnext\n", "<end>"},  // a line ending in Ctrl-Z is an end of file when met
           {longLine + "\nafter\n", longLine + "|after|<end>"},  // longer than the buffer
       }) {
    TearDown();
    SetUp();
    Type(c.input);
    EXPECT_EQ(ReadRecords(7), c.records) << c.input;
  }
}

TEST_F(ConsolePortTest, RecordsWrittenWithCarriageControl) {
  console::ConsolePort port(connection_);
  for (const std::string record : {" first", "0second", "+over", ""}) {
    port.BeginWrite(nullptr);
    port.Append(record);
    port.CompleteRecord(false);
  }
  port.Append(std::string_view(" prompt>"));
  port.CompleteRecord(true);
  port.Append(std::string_view("reply"));
  port.CompleteRecord(false);
  EXPECT_EQ(port.Finish(false).id, ErrorId{});
  // A held line takes the next record whole; the close ends the pending line.
  EXPECT_EQ(Written(), "first\r\n\r\nsecond\rover\r\n\r\nprompt>reply\r\n");
}

}  // namespace
}  // namespace recio
