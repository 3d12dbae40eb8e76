#include "main/gmapcli.h"

int main(int argc, char** argv) { return gmapcli(argc, argv); }
