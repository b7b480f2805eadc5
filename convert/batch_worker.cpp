// The worker processes of x17b2pavo-batch and their messages.
#include "convert/batch_worker.h"

#include <algorithm>
#include <cstring>
#include <type_traits>

#include "platform/processes.h"

namespace convert::batch {
namespace {

// A message is its fixed head followed by `textLength` bytes of names, written in one piece.
struct JobHead {
  uint32_t index;
  uint32_t scanLength;
  uint32_t outputLength;
  ExistingOutput existing;
};

struct ReportHead {
  Report::Kind kind;
  uint32_t textLength;
  ScanOutcome outcome;
};

static_assert(std::is_trivially_copyable_v<JobHead> && std::is_trivially_copyable_v<ReportHead>);

template <typename Head>
bool Send(platform::Handle handle, const Head& head, std::string_view first,
          std::string_view second = {}) {
  std::string message(sizeof head + first.size() + second.size(), '\0');
  std::memcpy(message.data(), &head, sizeof head);
  // An empty text may have no data at all: copied, not memcpy'd.
  std::copy(first.begin(), first.end(), message.data() + sizeof head);
  std::copy(second.begin(), second.end(), message.data() + sizeof head + first.size());
  return platform::WriteFully(handle, message.data(), message.size());
}

bool ReceiveText(platform::Handle handle, std::size_t length, std::string& text) {
  text.resize(length);
  return length == 0 || platform::ReadExactly(handle, text.data(), length);
}

bool ReceiveJob(platform::Handle jobs, JobHead& head, std::string& scan, std::string& output) {
  return platform::ReadExactly(jobs, &head, sizeof head) &&
         ReceiveText(jobs, head.scanLength, scan) && ReceiveText(jobs, head.outputLength, output);
}

// A worker's temporary names go to the process that started it before the files are made.
class AnnouncedNames final : public TemporaryNames {
 public:
  explicit AnnouncedNames(platform::Handle reports) : reports_{reports} {}
  void Announce(std::string_view path) override {
    const ReportHead head{Report::Kind::kTemporary, static_cast<uint32_t>(path.size()), {}};
    Send(reports_, head, path);
  }

 private:
  platform::Handle reports_;
};

}  // namespace

int WorkerMain(platform::Handle jobs, platform::Handle reports) {
  const StreamFiles streams = platform::StandardStreamFiles();
  AnnouncedNames names{reports};
  JobHead head{};
  std::string scan;
  std::string output;
  while (ReceiveJob(jobs, head, scan, output)) {
    const ScanOutcome outcome =
        ConvertScan({head.index, scan, output, head.existing}, streams, names);
    if (!Send(reports, ReportHead{Report::Kind::kDone, 0, outcome}, {})) return 1;
  }
  return 0;
}

bool SendJob(platform::Handle jobs, const Job& job) {
  const JobHead head{job.index, static_cast<uint32_t>(job.scan.size()),
                     static_cast<uint32_t>(job.output.size()), job.existing};
  return Send(jobs, head, job.scan, job.output);
}

bool ReceiveReport(platform::Handle reports, Report& report) {
  ReportHead head{};
  if (!platform::ReadExactly(reports, &head, sizeof head)) return false;
  report.kind = head.kind;
  report.outcome = head.outcome;
  return ReceiveText(reports, head.textLength, report.temporary);
}

}  // namespace convert::batch
