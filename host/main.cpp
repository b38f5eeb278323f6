// The program starts by loading its host window.
#include "host/frm_main.h"
#include "platform/platform.h"

int main(int argc, char** argv) {
  // First of all: a signal that arrives while the program is still starting
  // waits for the message loop instead of ending the process.
  tavrolin::PrepareProcessSignals();
  auto platform = tavrolin::CreatePlatform(argc, argv);
  tavrolin::frmMain form(*platform);
  return form.Show();
}
