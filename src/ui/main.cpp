#include "ui/diag_app.h"

int main(int argc, char** argv) { return ui::RunDiagApp(argc, argv); }
