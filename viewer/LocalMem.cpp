#include "viewer/LocalMem.h"

#include <cstdlib>
#include <mutex>
#include <unordered_map>

namespace {

struct TLocalBlock {
    void *data = nullptr;
    size_t size = 0;
    int locks = 0;
};

// Plug-ins may be called from any thread the host likes; the table is the one shared state.
std::mutex TableLock;
std::unordered_map<HLOCAL, TLocalBlock> &Table()
{
    static auto *table = new std::unordered_map<HLOCAL, TLocalBlock>;
    return *table;
}
HLOCAL LastHandle = 0;

TLocalBlock *Find(HLOCAL mem)
{
    auto it = Table().find(mem);
    return it == Table().end() ? nullptr : &it->second;
}

} // namespace

extern "C" HLOCAL LocalAlloc(unsigned flags, size_t bytes)
{
    // A block of 0 bytes still gets an address of its own, so a lock of it is not mistaken for failure.
    void *data = (flags & LMEM_ZEROINIT) ? std::calloc(bytes ? bytes : 1, 1) : std::malloc(bytes ? bytes : 1);
    if (!data)
        return 0;
    std::lock_guard guard(TableLock);
    do
        ++LastHandle;
    while (LastHandle == 0 || Find(LastHandle));
    Table()[LastHandle] = TLocalBlock{data, bytes, 0};
    return LastHandle;
}

extern "C" void *LocalLock(HLOCAL mem)
{
    std::lock_guard guard(TableLock);
    TLocalBlock *block = Find(mem);
    if (!block)
        return nullptr;
    ++block->locks;
    return block->data;
}

extern "C" int LocalUnlock(HLOCAL mem)
{
    std::lock_guard guard(TableLock);
    TLocalBlock *block = Find(mem);
    if (!block || block->locks == 0)
        return 0;
    return --block->locks > 0;
}

extern "C" HLOCAL LocalFree(HLOCAL mem)
{
    void *data = nullptr;
    {
        std::lock_guard guard(TableLock);
        TLocalBlock *block = Find(mem);
        if (!block)
            return mem;
        data = block->data;
        Table().erase(mem);
    }
    std::free(data);
    return 0;
}

extern "C" size_t LocalSize(HLOCAL mem)
{
    std::lock_guard guard(TableLock);
    const TLocalBlock *block = Find(mem);
    return block ? block->size : 0;
}
