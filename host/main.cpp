// The program starts by loading its host window.
#include "host/frm_main.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  auto platform = tavrolin::CreatePlatform(argc, argv);
  tavrolin::frmMain form(*platform);
  return form.Show();
}
