/* The interface of the DSS decoder component "dss32": a shared library whose five functions
 * are looked up by name. One file is decoded at a time per process.
 *
 *   DSSInitDecoder(0, &config)           0 when ready; config stays the caller's for the job
 *   DSSActiveFolder(folder, 0)           folder against which relative file names resolve
 *   DSSActiveFile(path, &length, &type)  0 when the file is a DSS file the library decodes;
 *                                        length in milliseconds, type DSS32_TYPE_*
 *   DSSStartDecoding(0)                  0 when decoding starts at the first frame
 *   DSSDecodeToPCM(&buffer, &kind)       "more": 1 with the next frame's 16-bit mono PCM
 *                                        (host byte order) in buffer, 0 with no buffer at
 *                                        the end; kind DSS32_KIND_*
 *
 * Every frame of one file has the same kind and length: DSS32_KIND_SP frames hold 264
 * samples (11025 Hz, 24 ms), DSS32_KIND_LP frames 240 samples (8000 Hz, 30 ms). */
#ifndef SONVEX_DSS32_H
#define SONVEX_DSS32_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The configuration word's value before the first call. Bit DSS32_CONFIG_WIDE asks for LP
 * frames at 11025 Hz (330 samples); this library never reports such files, so the bit has no
 * effect on its output. */
#define DSS32_CONFIG_DEFAULT 0u
#define DSS32_CONFIG_WIDE 0x40u

/* File types: SP (Standard Play, DSS SP codec, 11025 Hz) and LP (Long Play, G.723.1, 8000 Hz). */
#define DSS32_TYPE_SP 1
#define DSS32_TYPE_LP 2

#define DSS32_KIND_SP 0
#define DSS32_KIND_LP 1

#define DSS32_SP_SAMPLES 264
#define DSS32_LP_SAMPLES 240

typedef int (*DSSInitDecoderFn)(int reserved, uint32_t* pConfig);
typedef int (*DSSActiveFolderFn)(const char* folder, int reserved);
typedef int (*DSSActiveFileFn)(const char* path, uint32_t* pLengthMs, uint8_t* pFileType);
typedef int (*DSSStartDecodingFn)(int reserved);
typedef int (*DSSDecodeToPCMFn)(const void** ppBuffer, int* pFrameKind);

#ifdef __cplusplus
}
#endif

#endif
