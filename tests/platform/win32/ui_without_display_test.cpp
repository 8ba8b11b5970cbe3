// Without a display (the tree's tests run with none) no window can be made:
// the Windows preview and dialog views refuse instead of pretending to show
// anything, and the dialog's inbox still works.
#include <gtest/gtest.h>

#include "preview/preview_surface.h"
#include "ui/dialog_form.h"
#include "ui/dialog_inbox.h"
#include "ui/dialog_view.h"

namespace {

using pelnik::PreviewPlacement;
using pelnik::PreviewSurface;

TEST(PreviewWithoutDisplay, EveryPlacementThatWantsAWindowFails) {
  auto preview = pelnik::makeWindowPreview(nullptr);
  ASSERT_TRUE(preview);
  for (const PreviewPlacement placement :
       {PreviewPlacement{0, 10, 10, 330, 250}, PreviewPlacement{0x10010, 0, 0, 0, 0}}) {
    EXPECT_EQ(preview->open(placement, {640, 480}), PreviewSurface::OpenResult::Failed);
    EXPECT_FALSE(preview->isOpen());
  }
}

class EmptyController final : public pelnik::platform::DialogController {
 public:
  const pelnik::platform::DialogForm &form() const override { return form_; }
  void handle(const pelnik::platform::DialogEvent &) override { ++events; }
  bool finished() const override { return false; }
  pelnik::platform::DialogInbox &inbox() override { return inbox_; }
  int events = 0;

 private:
  pelnik::platform::DialogForm form_;
  pelnik::platform::DialogInbox inbox_;
};

TEST(DialogsWithoutDisplay, TheDialogCallFailsWithoutEvents) {
  EmptyController controller;
  EXPECT_EQ(pelnik::platform::runModalDialog(controller, 0),
            pelnik::platform::DialogRunResult::NoDisplay);
  EXPECT_EQ(controller.events, 0);
  // The dialog's inbox still runs queued work in order and refuses it once closed.
  int order = 0;
  ASSERT_TRUE(controller.inbox().post([&] { order = order * 10 + 1; }));
  ASSERT_TRUE(controller.inbox().post([&] { order = order * 10 + 2; }));
  EXPECT_EQ(controller.inbox().drain(), 2);
  EXPECT_EQ(order, 12);
  controller.inbox().close();
  EXPECT_FALSE(controller.inbox().post([&] { order = 0; }));
  EXPECT_EQ(controller.inbox().drain(), 0);
}

}  // namespace
