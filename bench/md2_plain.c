#include "md2_plain.h"

#include <string.h>

static const unsigned char kSubst[256] = {
    41,  46,  67,  201, 162, 216, 124, 1,   61,  54,  84,  161, 236, 240, 6,   19,  98,  167, 5,
    243, 192, 199, 115, 140, 152, 147, 43,  217, 188, 76,  130, 202, 30,  155, 87,  60,  253, 212,
    224, 22,  103, 66,  111, 24,  138, 23,  229, 18,  190, 78,  196, 214, 218, 158, 222, 73,  160,
    251, 245, 142, 187, 47,  238, 122, 169, 104, 121, 145, 21,  178, 7,   63,  148, 194, 16,  137,
    11,  34,  95,  33,  128, 127, 93,  154, 90,  144, 50,  39,  53,  62,  204, 231, 191, 247, 151,
    3,   255, 25,  48,  179, 72,  165, 181, 209, 215, 94,  146, 42,  172, 86,  170, 198, 79,  184,
    56,  210, 150, 164, 125, 182, 118, 252, 107, 226, 156, 116, 4,   241, 69,  157, 112, 89,  100,
    113, 135, 32,  134, 91,  207, 101, 230, 45,  168, 2,   27,  96,  37,  173, 174, 176, 185, 246,
    28,  70,  97,  105, 52,  64,  126, 15,  85,  71,  163, 35,  221, 81,  175, 58,  195, 92,  249,
    206, 186, 197, 234, 38,  44,  83,  13,  110, 133, 40,  132, 9,   211, 223, 205, 244, 65,  129,
    77,  82,  106, 220, 55,  200, 108, 193, 171, 250, 36,  225, 123, 8,   12,  189, 177, 74,  120,
    136, 149, 139, 227, 99,  232, 109, 233, 203, 213, 254, 59,  0,   29,  57,  242, 239, 183, 14,
    102, 88,  208, 228, 166, 119, 114, 248, 235, 117, 75,  10,  49,  68,  80,  180, 143, 237, 31,
    26,  219, 153, 141, 51,  159, 17,  131, 20};

static void transform(md2_plain* md2, const unsigned char* block) {
  unsigned char x[48];
  unsigned int i, j, t;
  for (i = 0; i < 16; ++i) {
    x[i] = md2->state[i];
    x[16 + i] = block[i];
    x[32 + i] = (unsigned char)(md2->state[i] ^ block[i]);
  }
  t = 0;
  for (i = 0; i < 18; ++i) {
    for (j = 0; j < 48; ++j) t = x[j] ^= kSubst[t];
    t = (t + i) & 0xff;
  }
  memcpy(md2->state, x, 16);
  t = md2->checksum[15];
  for (i = 0; i < 16; ++i) t = md2->checksum[i] ^= kSubst[block[i] ^ t];
}

void md2_plain_init(md2_plain* md2) { memset(md2, 0, sizeof *md2); }

void md2_plain_update(md2_plain* md2, const unsigned char* data, size_t length) {
  while (length > 0) {
    size_t take = 16 - md2->count < length ? 16 - md2->count : length;
    memcpy(md2->buffer + md2->count, data, take);
    md2->count += take;
    data += take;
    length -= take;
    if (md2->count == 16) {
      transform(md2, md2->buffer);
      md2->count = 0;
    }
  }
}

void md2_plain_final(md2_plain* md2, unsigned char digest[16]) {
  unsigned char padding[16], checksum[16];
  unsigned char pad = (unsigned char)(16 - md2->count);
  memset(padding, pad, sizeof padding);
  md2_plain_update(md2, padding, pad);
  memcpy(checksum, md2->checksum, 16);
  transform(md2, checksum);
  memcpy(digest, md2->state, 16);
}
