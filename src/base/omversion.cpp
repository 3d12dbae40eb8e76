// Product identification.
#include "base/omversion.h"

const char* ombanner() {
  return "Ombra -- earth-science data analysis and display, Version " OMBRA_VERSION "\n"
         "A command-driven workstation tool for gridded and station data\n"
         "Free software: you may use, copy and change it; it comes with\n"
         "no warranty of any kind.\n"
         "Type help for the basic commands.\n";
}
