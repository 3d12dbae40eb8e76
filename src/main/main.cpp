#include "main/ommain.h"

int main(int argc, char** argv) { return ommain(argc, argv); }
