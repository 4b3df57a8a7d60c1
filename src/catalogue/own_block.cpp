// The one definition of the running program's embedded block. It is linked
// into the shipped executable only, so the marker occurs exactly once in the
// file: nothing else in the program spells it out (the builder searches with
// the bytes it reads from here).
#include "catalogue/embedded_block.h"

// External linkage and a non-const object: the whole block goes to initialized
// data, byte for byte, where the builder can find and patch it.
extern "C" {
alignas(4) EmbeddedBlock flash_embedded_block = {
    {'<', 'F', 'L', 'A', 'S', 'H', '-', 'R', 'E', 'C', 'O', 'R', 'D', '>', '\0'},
    {},
    {},
    {},
    {},
    {'Z', 'E', 'D', 'A'},
};
}

const EmbeddedBlock& OwnEmbeddedBlock() {
  const EmbeddedBlock* block = &flash_embedded_block;
#if defined(__GNUC__) || defined(__clang__)
  // The compiler must not assume it knows the bytes: a built flasher differs
  // from the source's initializer. Launder the pointer through an empty asm.
  asm volatile("" : "+r"(block));
#endif
  return *block;
}
