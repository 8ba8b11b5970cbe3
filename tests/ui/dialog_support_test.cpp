// The dialogs' platform pieces that need no display: the language rule and
// the inbox other threads queue updates through.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <thread>
#include <vector>

#include "ui/dialog_inbox.h"
#include "ui/ui_language.h"

namespace {

using pelnik::platform::DialogInbox;
using pelnik::platform::languageFrom;
using pelnik::platform::UiLanguage;

TEST(UiLanguage, FirstSetVariableOfLcAllLcMessagesLangDecides) {
  EXPECT_EQ(languageFrom(nullptr, nullptr, "ja_JP.UTF-8"), UiLanguage::Japanese);
  EXPECT_EQ(languageFrom(nullptr, nullptr, "ja"), UiLanguage::Japanese);
  EXPECT_EQ(languageFrom(nullptr, "ja_JP.eucJP", "en_US.UTF-8"), UiLanguage::Japanese);
  EXPECT_EQ(languageFrom("C", "ja_JP.UTF-8", "ja_JP.UTF-8"), UiLanguage::English);
  EXPECT_EQ(languageFrom("", "", "ja_JP.UTF-8"), UiLanguage::Japanese);  // empty: not set
  EXPECT_EQ(languageFrom(nullptr, nullptr, nullptr), UiLanguage::English);
  EXPECT_EQ(languageFrom(nullptr, nullptr, "jam_XX"), UiLanguage::English);
  EXPECT_EQ(languageFrom(nullptr, nullptr, "en_US.UTF-8"), UiLanguage::English);
}

TEST(DialogInbox, RunsPostsInOrderOnTheDrainingThreadAndWakesItsReader) {
  DialogInbox inbox;
  ASSERT_GE(inbox.wakeFd(), 0);
  std::vector<int> seen;
  std::thread poster([&] {
    for (int i = 0; i < 100; ++i) inbox.post([&seen, i] { seen.push_back(i); });
  });
  poster.join();
  char byte = 0;
  EXPECT_EQ(read(inbox.wakeFd(), &byte, 1), 1) << "the reader was not woken";
  EXPECT_EQ(inbox.drain(), 100);
  ASSERT_EQ(seen.size(), 100u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
  EXPECT_EQ(inbox.drain(), 0);
}

TEST(DialogInbox, ClosingDropsPendingAndLaterPosts) {
  DialogInbox inbox;
  std::atomic<int> ran{0};
  inbox.post([&] { ++ran; });
  inbox.close();
  EXPECT_FALSE(inbox.post([&] { ++ran; }));
  EXPECT_EQ(inbox.drain(), 0);
  EXPECT_EQ(ran.load(), 0);
}

TEST(DialogInbox, PostingNeverBlocksEvenWhenNobodyDrains) {
  DialogInbox inbox;
  // Far more posts than a pipe holds wake-up bytes.
  for (int i = 0; i < 200000; ++i) ASSERT_TRUE(inbox.post([] {}));
  EXPECT_EQ(inbox.drain(), 200000);
}

}  // namespace
