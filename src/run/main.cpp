#include "run/frame_loop.h"

int main(int argc, char** argv) { return runPipeline(argc, argv); }
