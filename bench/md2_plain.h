/* A plain one-stream MD2 (RFC 1319) in C, as the reference shows it: the yardstick the
   program's concurrent hashing is measured against. */
#ifndef RUNWARDEN_MD2_PLAIN_H
#define RUNWARDEN_MD2_PLAIN_H

#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  unsigned char state[16];
  unsigned char checksum[16];
  unsigned char buffer[16];
  size_t count;
} md2_plain;

void md2_plain_init(md2_plain* md2);
void md2_plain_update(md2_plain* md2, const unsigned char* data, size_t length);
void md2_plain_final(md2_plain* md2, unsigned char digest[16]);

#ifdef __cplusplus
}
#endif

#endif
