// The application object: it runs the main dialog on the ports folder it is
// given; the started dialog can be rendered into a picture, which is how the
// tool is looked at without a display.
#include <QImage>

#include "app/TandoOTP.h"
#include "app_rig.h"

namespace qt70::test {
namespace {

using Application = DialogRig;

TEST_F(Application, RunsTheStartedDialogAndSavesItsPicture) {
  AddChip("COM5");
  CTandoOTPApp app;
  CTandoOTPApp::Options options;
  options.portsDir = portsDir;
  options.screenshot = scratch.Path() + "/started.png";
  EXPECT_EQ(app.InitInstance(options), 0);
  const QImage picture(QString::fromStdString(options.screenshot));
  ASSERT_FALSE(picture.isNull());
  EXPECT_GT(picture.width(), 400);
  EXPECT_GT(picture.height(), 300);
  EXPECT_TRUE(boxes.boxes.empty());
  // A folder that cannot take the picture is told by the exit status.
  options.screenshot = scratch.Path() + "/no/such/folder/started.png";
  EXPECT_EQ(app.InitInstance(options), 4);
}

}  // namespace
}  // namespace qt70::test
