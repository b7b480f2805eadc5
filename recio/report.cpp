// The failure report and the floating-point fault message: how a failed request ends.
#include <cstring>
#include <string_view>

#include "platform/file_io.h"
#include "platform/streams.h"
#include "recio/errors.h"
#include "recio/internal/request.h"
#include "recio/internal/termination.h"

namespace recio {
namespace {

static_assert(kFileExistsStatus == static_cast<int32_t>(ErrorId::kFileAlreadyExists));
static_assert(static_cast<std::size_t>(MathFault::kStackUnderflow) + 1 == kFaultRows.size(),
              "one fault row for each floating-point fault");

// Builds a message in a fixed buffer; a part that does not fit is cut.
class MessageBuilder {
 public:
  MessageBuilder& Add(std::string_view text) {
    const std::size_t take = std::min(text.size(), sizeof text_ - length_);
    std::memcpy(text_ + length_, text.data(), take);
    length_ += take;
    return *this;
  }
  MessageBuilder& AddNumber(int32_t value) {
    char digits[4] = {'0', '0', '0', '0'};
    for (int i = 3; i >= 0 && value > 0; --i) {
      digits[i] = static_cast<char>('0' + value % 10);
      value /= 10;
    }
    return Add({digits, 4});
  }
  void WriteToStandardError() const {
    platform::WriteAll(platform::StreamHandle(platform::Stream::kError), text_, length_);
  }

 private:
  char text_[512];
  std::size_t length_ = 0;
};

std::string_view StatementWord(Statement statement) {
  switch (statement) {
    case Statement::kOpen:
      return "OPEN";
    case Statement::kRead:
      return "READ";
    case Statement::kWrite:
      return "WRITE";
    case Statement::kClose:
      return "CLOSE";
  }
  return {};
}

}  // namespace

int32_t ReportFailure(const RequestFailure& failure, const RequestContext& context) noexcept {
  const ErrorId id = failure.id;
  const bool endOfFile = IsEndOfFile(id);
  if (context.flags.status) return endOfFile ? kEndOfFileStatus : static_cast<int32_t>(id);
  if (endOfFile && context.flags.end) return kEndOfFileStatus;

  MessageBuilder message;
  message.Add("\r\nrun-time error F")
      .AddNumber(static_cast<int32_t>(id))
      .Add(": ")
      .Add(StatementWord(context.statement))
      .Add("(")
      .Add(context.NameShown())
      .Add(")\r\n- ")
      .Add(CatalogueText(id))
      .Add("\r\n");
  message.WriteToStandardError();
  Terminate(1);
}

std::string_view MathFaultWord(MathFault fault) noexcept {
  return kFaultRows[static_cast<std::size_t>(fault)].word;
}

void ReportMathFault(MathFault fault) noexcept {
  const FaultRow& row = kFaultRows[static_cast<std::size_t>(fault)];
  MessageBuilder message;
  message.Add("\r\nrun-time error M")
      .AddNumber(row.number)
      .Add(": MATH\r\n- floating-point error: ")
      .Add(row.word)
      .Add("\r\n");
  message.WriteToStandardError();
  Terminate(1);
}

std::string_view StatusText(int32_t status) noexcept {
  if (status == kEndOfFileStatus) return CatalogueText(ErrorId::kEndOfFileEncountered);
  return CatalogueText(static_cast<ErrorId>(status));
}

}  // namespace recio
