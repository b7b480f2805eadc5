// The console's record port against the record-port contract, over pipes: records read from
// redirected input (runs, their ends, skips, the end of the input, Ctrl-Z lines) and records
// written with carriage control.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

#include "recio/internal/console.h"
#include "recio/internal/failure.h"

namespace recio {
namespace {

// A console-kind connection on two pipes: what it reads is written into the first beforehand,
// what it writes is taken from the second afterwards.
class ConsolePortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(pipe(input_), 0);
    ASSERT_EQ(pipe(output_), 0);
    connection_ = Connection{};
    connection_.attributes.kind = RecordKind::kConsole;
    connection_.attributes.inputHandle = platform::Handle{input_[0]};
    connection_.attributes.outputHandle = platform::Handle{output_[1]};
    connection_.AllocateBuffer(kConsoleBufferSize + 1);
  }
  void TearDown() override {
    for (int* handle : {&input_[0], &input_[1], &output_[0], &output_[1]}) {
      if (*handle >= 0) close(*handle);
      *handle = -1;
    }
  }

  void Type(const std::string& bytes) {
    ASSERT_EQ(write(input_[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    close(input_[1]);
    input_[1] = -1;
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
    close(output_[1]);
    output_[1] = -1;
    std::string bytes;
    char chunk[512];
    for (ssize_t n; (n = read(output_[0], chunk, sizeof chunk)) > 0;) bytes.append(chunk, n);
    return bytes;
  }

  int input_[2] = {-1, -1};
  int output_[2] = {-1, -1};
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
