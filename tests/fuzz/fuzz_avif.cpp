// The AVIF plug-in's entry points on any bytes.
#include "tests/fuzz/fuzz_decoder.h"

FUZZ_DECODER(SusieDecoder::AvifFormat)
