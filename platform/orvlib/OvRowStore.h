#pragma once

// Rows kept in memory in a driver's own compact form, for the cursors that
// read a query's whole result at the open and hand it out later.

#include <QtGlobal>

#include <cstddef>
#include <deque>

// Bytes written row after row into blocks of 64 KB doubling up to 8 MB, so
// that keeping more never copies what is kept (only the row being written
// moves when it outgrows its block), and freed block by block once their
// rows are read. The layout of a row is the driver's: it writes a row from
// RowEnd() through Reserve, ends it with EndRow, and reads rows in order
// from Front(), passing where the row read ends to Consumed.
class TOvRowStore
{
public:
    // Where the next row starts.
    char *RowEnd();
    // Where Size more bytes of the row being written, written up to P, go
    // (P itself, or the same place in a new block the row moved to).
    char *Reserve(char *P, size_t Size);
    // The row being written ends at P.
    void EndRow(char *P);
    // Bytes of all rows written.
    qint64 Kept() const { return m_kept; }
    // Whether every row written has been read.
    bool Empty() const { return m_blocks.empty(); }
    // The first row not yet read.
    const char *Front() const { return m_blocks.front().data + m_next; }
    // The row read from Front() ends at P.
    void Consumed(const char *P);
    void Clear() { m_blocks.clear(); }

private:
    static constexpr size_t FirstBlock = 64 << 10, LargestBlock = 8 << 20;
    // Memory mapped whole at once (pages faulted in one call, not one
    // fault per page as the bytes are written), unmapped when released.
    struct Block
    {
        explicit Block(size_t Capacity);
        ~Block();
        Block(const Block &) = delete;
        Block &operator=(const Block &) = delete;
        char *data = nullptr;
        size_t size = 0, capacity = 0;
    };
    std::deque<Block> m_blocks; // the first holds the next row to read
    size_t m_next = 0;          // where in the first block it starts
    qint64 m_kept = 0;
};
