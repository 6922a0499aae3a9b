#include "platform/platform.h"
#include "run/program.h"

int main(int argc, char** argv) {
  tessel::PrepareProcess();
  return tessel::RunProgram(tessel::NativePlatform(), argc, argv);
}
