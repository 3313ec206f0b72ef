#include "app/pipeline.h"

int main(int argc, char** argv) { return focustrack::runPipeline(argc, argv); }
