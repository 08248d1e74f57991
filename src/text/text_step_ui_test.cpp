// The terminal's answers in the connection step, on a virtual clock with no device: a line
// typed ahead, during the show of Next or during its wait clicks it; input that has ended
// answers Next and the message box at once.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include "platform/program_path.h"
#include "platform/system_services.h"
#include "platform/volume_source.h"
#include "text/text_step_ui.h"
#include "workflow/connect_device.h"
#include "workflow/messages.h"

namespace vantel3 {
namespace {

// When an answer comes, relative to the Next button's show.
enum class When { kBeforeShow, kShowBeforeArming, kShowAfterArming, kDuringWait };

struct Answer {
  enum { kLine, kEnd } what;
  When when;
};

// One connection step with the terminal's answers; fresh for each case.
struct Harness {
  // Runs the connection step (no device: after Next it waits 60 s for a drive and fails)
  // with the answer `first` for Next, then `second` (if any) when the message box shows.
  void Run(Answer first, std::optional<Answer> second) {
    auto deliver = [this](const Answer& a) {
      if (a.what == Answer::kLine) {
        input_.PushLine("");
      } else {
        input_.PushEnd();
      }
    };
    TextAnswers answers = AnswersFromInput(input_, context_.nextPressed);
    const std::function<void()> arm = answers.onNextShown;
    answers.onNextShown = [&, arm] {
      shownAtMs_ = clock_.ElapsedMs();
      if (first.when == When::kShowBeforeArming) deliver(first);
      arm();
      if (first.when == When::kShowAfterArming) deliver(first);
      if (first.when == When::kDuringWait) {
        clock_.ScheduleAt(clock_.ElapsedMs() + 5000, [&, first] { deliver(first); });
      }
    };
    const std::function<void()> hide = answers.onNextHidden;
    answers.onNextHidden = [&, hide] {
      clickSeenAtMs_ = clock_.ElapsedMs();
      hide();
    };
    const std::function<void()> close = answers.closeMessageBox;
    answers.closeMessageBox = [&, close] {
      messageAtMs_ = clock_.ElapsedMs();
      if (second) deliver(*second);
      close();
    };
    if (first.when == When::kBeforeShow) deliver(first);
    TextStepUi ui(out_, answers);
    result_ = ConnectDevice(context_, services_, ui);
  }

  bool Printed(const std::string& line) const {
    return out_.str().find(line + "\n") != std::string::npos;
  }

  VirtualClock clock_;
  std::unique_ptr<FileSystem> fs_ = MakeNativeFileSystem();
  StaticVolumeSource volumes_;
  FixedProgramPath programPath_{"/nonexistent/vantel3-updater"};
  UpdateServices services_{clock_, *fs_, volumes_, programPath_, "/nonexistent/data"};
  UpdateContext context_;
  LineInput input_;
  std::ostringstream out_;
  int result_ = 0;
  uint64_t shownAtMs_ = 0;
  std::optional<uint64_t> clickSeenAtMs_;
  std::optional<uint64_t> messageAtMs_;
};

// One case of a table: when the answer comes, and how long after the show that is.
struct Case {
  const char* name;
  When when;
  uint64_t delayMs;
};

TEST(TextAnswersTest, ALineClicksNextWhenItComesBeforeDuringOrAfterTheShow) {
  for (const Case& c : {Case{"typed ahead", When::kBeforeShow, 0},
                        Case{"as the button shows", When::kShowBeforeArming, 0},
                        Case{"right after it shows", When::kShowAfterArming, 0},
                        Case{"during the wait", When::kDuringWait, 5000}}) {
    SCOPED_TRACE(c.name);
    Harness h;
    // Left over from an earlier run, this must not count as the click.
    h.context_.nextPressed = kNextClicked;
    h.Run({Answer::kLine, c.when}, Answer{Answer::kLine, When::kBeforeShow});
    ASSERT_TRUE(h.clickSeenAtMs_.has_value());
    // Seen at the wait's next poll, 200 ms apart.
    EXPECT_GE(*h.clickSeenAtMs_, h.shownAtMs_ + c.delayMs);
    EXPECT_LE(*h.clickSeenAtMs_, h.shownAtMs_ + c.delayMs + 401);
    EXPECT_TRUE(h.Printed("[text] " + std::string(msg::kSwitchToUpdateMode)));
    // No drive: the 60 s wait fails, and the second line closes its message.
    EXPECT_TRUE(h.Printed("[error] " + std::string(msg::kNoDriveAfterNext)));
    EXPECT_EQ(h.result_, -1);
  }
}

TEST(TextAnswersTest, EndedInputAnswersNextAndTheMessageAtOnce) {
  for (const Case& c : {Case{"ended before", When::kBeforeShow, 0},
                        Case{"ends as the button shows", When::kShowBeforeArming, 0},
                        Case{"ends right after it shows", When::kShowAfterArming, 0},
                        Case{"ends during the wait", When::kDuringWait, 5000}}) {
    SCOPED_TRACE(c.name);
    Harness h;
    h.Run({Answer::kEnd, c.when}, std::nullopt);
    EXPECT_FALSE(h.clickSeenAtMs_.has_value());
    EXPECT_FALSE(h.Printed("[text] " + std::string(msg::kSwitchToUpdateMode)));
    EXPECT_TRUE(h.Printed("[error] " + std::string(msg::kNextNotPressed)));
    // Not after the wait's 600 s: at its next poll.
    ASSERT_TRUE(h.messageAtMs_.has_value());
    EXPECT_LE(*h.messageAtMs_, h.shownAtMs_ + c.delayMs + 401);
    EXPECT_EQ(h.result_, -1);  // the message box closed without a line
  }
}

TEST(TextAnswersTest, InputThatEndsAfterNextClosesTheLaterMessage) {
  Harness h;
  h.Run({Answer::kLine, When::kBeforeShow}, Answer{Answer::kEnd, When::kBeforeShow});
  EXPECT_TRUE(h.clickSeenAtMs_.has_value());
  EXPECT_TRUE(h.Printed("[error] " + std::string(msg::kNoDriveAfterNext)));
  EXPECT_EQ(h.result_, -1);
  EXPECT_EQ(h.input_.ReadLine(), std::nullopt);  // and the end view's question: Exit
}

TEST(LineInputTest, ReadsAStreamToItsEndOnItsOwnThread) {
  std::istringstream in("retry\n\nlast without a newline");
  LineInput input(in);
  EXPECT_EQ(input.ReadLine(), "retry");
  EXPECT_EQ(input.ReadLine(), "");
  EXPECT_EQ(input.ReadLine(), "last without a newline");
  EXPECT_EQ(input.ReadLine(), std::nullopt);
  EXPECT_EQ(input.ReadLine(), std::nullopt);
}

}  // namespace
}  // namespace vantel3
