// The AVIF plug-in's entry points on any bytes.
#include "fuzz_decoder.h"

FUZZ_DECODER(SusieDecoder::AvifFormat)
