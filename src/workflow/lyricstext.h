#pragma once

// Decoding, line splitting and encoding of lyrics text files.
