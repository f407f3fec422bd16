// klangor: the editor.

#include "ui/editor.h"

int main(int argc, char** argv) { return klangor::RunEditor(argc, argv); }
