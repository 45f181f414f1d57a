#include "OvRowStore.h"

#include <algorithm>
#include <cstring>
#include <new>

#include <sys/mman.h>

TOvRowStore::Block::Block(size_t Capacity)
    : capacity(Capacity)
{
    void *p = ::mmap(nullptr, Capacity, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p == MAP_FAILED)
        throw std::bad_alloc();
    data = static_cast<char *>(p);
}

TOvRowStore::Block::~Block()
{
    ::munmap(data, capacity);
}

char *TOvRowStore::RowEnd()
{
    return m_blocks.empty() ? nullptr : m_blocks.back().data + m_blocks.back().size;
}

char *TOvRowStore::Reserve(char *P, size_t Size)
{
    if (!m_blocks.empty() && P + Size <= m_blocks.back().data + m_blocks.back().capacity)
        return P;
    // The row so far moves to a new block, twice the size of the one
    // before up to LargestBlock: a small result takes little memory, a
    // large one few blocks.
    const char *start = m_blocks.empty() ? P : m_blocks.back().data + m_blocks.back().size;
    const size_t written = size_t(P - start);
    const size_t next
        = m_blocks.empty() ? FirstBlock : std::min(2 * m_blocks.back().capacity, LargestBlock);
    Block &block = m_blocks.emplace_back(std::max(next, written + Size));
    if (written > 0)
        std::memcpy(block.data, start, written);
    return block.data + written;
}

void TOvRowStore::EndRow(char *P)
{
    Block &block = m_blocks.back();
    m_kept += qint64(P - (block.data + block.size));
    block.size = size_t(P - block.data);
}

void TOvRowStore::Consumed(const char *P)
{
    m_next = size_t(P - m_blocks.front().data);
    if (m_next == m_blocks.front().size) {
        m_blocks.pop_front();
        m_next = 0;
    }
}
