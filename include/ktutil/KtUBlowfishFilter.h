//===- KtUBlowfishFilter.h - Blowfish-enciphered records over a sink ------===//
//
// KtUBlowfishFilter is a stream filter that enciphers what a stream writes
// with the Blowfish block cipher (16 rounds, keys of up to 56 bytes, each
// 8-byte block on its own) and deciphers it again on reading:
//
//   KtUBlowfishFilter cipher("secret key");
//   KtUWriteStream out(&file);
//   out.AddActiveFilter(&cipher);        // the header lists "liblowfish"
//
// Each WriteProcess(n) becomes one record downstream: an enciphered 8-byte
// header holding n and the Adler-32 of the n plaintext bytes, then the
// plaintext padded with zero bytes to a multiple of 8 and enciphered, so a
// record takes 8 + n rounded up to 8 bytes. Reading deciphers one record per
// ReadLock and checks its length and checksum, so corrupted data or a wrong
// key fails the read instead of yielding garbage. Records hold at most
// GetBlockSize() (65,536) bytes; the downstream regions must be multiples of
// 8 bytes.
//
// Blocks are read and written as two little-endian 32-bit words, left half
// first; Encrypt2 and Decrypt2 work on such word pairs directly.
//
// Thread safety: as every sink, one stream (and thread) at a time. Encrypt2
// and Decrypt2 only read the key schedule and may run on any thread.
//
//===----------------------------------------------------------------------===//
#ifndef KTUTIL_KTUBLOWFISHFILTER_H
#define KTUTIL_KTUBLOWFISHFILTER_H

#include <ktutil/KtUStreamFilter.h>

/// Stream filter that enciphers records with Blowfish; also the component
/// "KtUBlowfishFilter".
class KTU_API KtUBlowfishFilter : public KtUStreamFilter {
public:
    /// Unkeyed: InitKey must be called before use.
    KtUBlowfishFilter();
    /// Keyed with the bytes of key up to its terminator.
    explicit KtUBlowfishFilter(const char* key);
    /// Keyed with length bytes of key.
    KtUBlowfishFilter(int length, const char* key);
    /// Copies the block size and the key schedule; the copy allocates its own
    /// block when it is begun.
    KtUBlowfishFilter(const KtUBlowfishFilter& other);
    KtUBlowfishFilter& operator=(const KtUBlowfishFilter& other);
    ~KtUBlowfishFilter() override;

    /// Keys the cipher with the first 56 bytes of key at most. A key of 0 or
    /// fewer bytes (or a null one) leaves the filter unkeyed.
    void InitKey(const char* key);
    void InitKey(int length, const char* key);

    /// Enciphers the block in[0] (left), in[1] (right) into out[0], out[1];
    /// out may be in.
    void Encrypt2(const unsigned* in, unsigned* out) const;
    /// Deciphers likewise.
    void Decrypt2(const unsigned* in, unsigned* out) const;

    /// "liblowfish".
    const char* GetName() const override;
    /// The largest record, in plaintext bytes.
    int GetBlockSize() const { return m_block_size; }

    /// The fixed key of the chunk files' enciphered checksums: 32 non-zero
    /// bytes and a terminator, for the constructor that takes a string.
    static const char* GetChunkKey();

    /// Allocates the plaintext block (once). Fails, with a warning, while the
    /// filter has no key.
    int WriteBegin(const KtUWriteStream* stream) override;
    /// The whole plaintext block, from its start.
    int WriteLock(unsigned char** region, int* size) override;
    /// Enciphers the first count bytes of the block as one record downstream.
    int WriteProcess(int count) override;
    /// Frees the block.
    int WriteEnd() override;
    /// Allocates the block if needed; no record is pending.
    int ReadBegin(const KtUReadStream* stream) override;
    /// The rest of the pending record, or the next record deciphered from
    /// downstream; (null, 0) at the end of the downstream data.
    int ReadLock(const unsigned char** region, int* size) override;
    /// Consumes count bytes of the pending record.
    int ReadProcess(int count) override;
    /// Drops the pending record and keeps the block.
    int ReadEnd() override;

    static void Initialise();
    static void Terminate();
    static int IsInitialised();

private:
    void ResetKey();
    void FreeBlock();
    int LockDownstream(unsigned char** region, int* size);
    int LockDownstream(const unsigned char** region, int* size, bool end_allowed);

    int m_block_size = 65536;
    /// A key has been set: an unkeyed filter refuses to begin.
    bool m_keyed = false;
    /// The plaintext of the record being written or read.
    unsigned char* m_block = nullptr;
    /// Next unread byte of the pending record; null when none is pending.
    unsigned char* m_read_cursor = nullptr;
    /// Plaintext bytes of the pending record.
    int m_record_length = 0;
    /// The key schedule: the P-array and the four S-boxes.
    unsigned m_p[18];
    unsigned m_s[4][256];
};

#endif // KTUTIL_KTUBLOWFISHFILTER_H
