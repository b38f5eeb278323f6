#include "reports/time_words.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <vector>

#include "historian/time_text.h"
#include "tests/support/fake_platform.h"
#include "tests/support/settings.h"

namespace tavrolin {
namespace {

using testing::FakeClock;
using testing::GermanDateSettings;
using testing::ParserTimeText;

struct Case {
  LocalDateTime now;
  const char* word;
  const char* us_text;         // under United States settings
  const char* german_text;     // under German-style settings
  const char* parser_text_us;  // what the readers hand to the time parser
  const char* parser_text_german;
};

class TimeWordTest : public ::testing::TestWithParam<Case> {};

TEST_P(TimeWordTest, ResolvesAndReadsBack) {
  const Case& c = GetParam();
  const DateSettings us;
  const std::string us_text = ResolveTimeWord(c.word, c.now, us);
  EXPECT_EQ(us_text, c.us_text);
  EXPECT_EQ(ParserTimeText(us_text, us), c.parser_text_us);
  const std::string german_text =
      ResolveTimeWord(c.word, c.now, GermanDateSettings());
  EXPECT_EQ(german_text, c.german_text);
  EXPECT_EQ(ParserTimeText(german_text, GermanDateSettings()),
            c.parser_text_german);
}

INSTANTIATE_TEST_SUITE_P(Words, TimeWordTest,
                         ::testing::Values(Case{{2026, 12, 6, 6, 43, 30},
                                                "now",
                                                "12/6/2026 6:43:30 AM",
                                                "6.12.2026 06:43:30",
                                                "06-Dec-26 06:43:30",
                                                "06-Dez-26 06:43:30"},
                                           Case{{2026, 12, 6, 18, 43, 30},
                                                "now",
                                                "12/6/2026 6:43:30 PM",
                                                "6.12.2026 18:43:30",
                                                "06-Dec-26 18:43:30",
                                                "06-Dez-26 18:43:30"},
                                           Case{{2026, 12, 6, 0, 0, 1},
                                                "now",
                                                "12/6/2026 12:00:01 AM",
                                                "6.12.2026 00:00:01",
                                                "06-Dec-26 00:00:01",
                                                "06-Dez-26 00:00:01"},
                                           Case{{2026, 12, 6, 6, 43, 30},
                                                "today",
                                                "12/06/2026 00:00",
                                                "12.06.2026 00:00",
                                                "06-Dec-26 00:00:00",
                                                "06-Dez-26 00:00:00"},
                                           Case{{2026, 12, 6, 6, 43, 30},
                                                "yesterday",
                                                "12/05/2026 00:00",
                                                "12.05.2026 00:00",
                                                "05-Dec-26 00:00:00",
                                                "05-Dez-26 00:00:00"},
                                           Case{{2028, 3, 1, 9, 0, 0},
                                                "yesterday",
                                                "02/29/2028 00:00",
                                                "02.29.2028 00:00",
                                                "29-Feb-28 00:00:00",
                                                "29-Feb-28 00:00:00"},
                                           Case{{2026, 3, 2, 9, 0, 0},
                                                "today",
                                                "03/02/2026 00:00",
                                                "03.02.2026 00:00",
                                                "02-Mar-26 00:00:00",
                                                "02-Mär-26 00:00:00"}));

// A clock that moves on at every reading, through the times it is given.
struct MovingClock : Clock {
  std::vector<LocalDateTime> times;
  std::size_t reads = 0;
  LocalDateTime Now() override { return times.at(reads++); }
};

// What the template report calls: each word reads the clock once, and a
// text kept for one second ("now") or one day ("today", "yesterday") is
// never handed out for another, across a second, midnight, a year's end and
// a clock set back.
TEST(TimeWordsTest, KeptTextsFollowAClockThatMoves) {
  struct Step {
    LocalDateTime now;
    const char* word;
    const char* text;
  };
  const std::vector<Step> steps = {
      {{2026, 12, 31, 23, 59, 58}, "now", "12/31/2026 11:59:58 PM"},
      {{2026, 12, 31, 23, 59, 58}, "now", "12/31/2026 11:59:58 PM"},
      {{2026, 12, 31, 23, 59, 59}, "now", "12/31/2026 11:59:59 PM"},
      {{2026, 12, 31, 23, 59, 59}, "today", "12/31/2026 00:00"},
      {{2026, 12, 31, 23, 59, 59}, "yesterday", "12/30/2026 00:00"},
      {{2027, 1, 1, 0, 0, 0}, "today", "01/01/2027 00:00"},
      {{2027, 1, 1, 0, 0, 0}, "yesterday", "12/31/2026 00:00"},
      {{2027, 1, 1, 0, 0, 0}, "now", "1/1/2027"},
      {{2027, 1, 1, 0, 0, 1}, "now", "1/1/2027 12:00:01 AM"},
      {{2027, 1, 1, 12, 0, 0}, "today", "01/01/2027 00:00"},
      {{2026, 12, 31, 23, 59, 59}, "today", "12/31/2026 00:00"},
      {{2026, 12, 31, 23, 59, 59}, "now", "12/31/2026 11:59:59 PM"},
  };
  MovingClock clock;
  for (const Step& step : steps) clock.times.push_back(step.now);
  const DateSettings us;
  TimeWords words(clock, us);
  for (const Step& step : steps) {
    EXPECT_EQ(words.Resolve(step.word), step.text) << step.word;
  }
  EXPECT_EQ(clock.reads, steps.size());
}

TEST(TimeWordsTest, AnyOtherWordIsTheEmptyText) {
  FakeClock clock;
  const DateSettings us;
  TimeWords words(clock, us);
  for (const char* word :
       {"", "Now", "NOW", "Today", "TODAY", "Yesterday", " now", "now ",
        "today ", "\tyesterday", "12/6/2026 6:43:30 AM", "*-1d", "t", "y"}) {
    EXPECT_EQ(words.Resolve(word), "") << "[" << word << "]";
  }
}

}  // namespace
}  // namespace tavrolin
