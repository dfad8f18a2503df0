// The filter's entry: one application object for the whole run.
#include "app/winmaildat.h"

int main(int argc, char** argv) {
  WinMailDat filter;
  return filter.Main(argc, argv);
}
