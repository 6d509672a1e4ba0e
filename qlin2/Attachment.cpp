#include "qlin2/Attachment.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace varno::qlin2 {
namespace {

constexpr size_t kLockObjectSize = 4096;
static_assert(sizeof(LockArea) <= kLockObjectSize);

void Report(const char* what, const char* name, int error)
{
    std::fprintf(stderr, "QLIN2: %s %s: %s; the line interface is not available\n", what, name, std::strerror(error));
}

// Takes, or with type F_UNLCK releases, an open-file-description lock on one byte.
bool LockByte(int fd, short type, off_t byte, bool wait)
{
    struct flock request {};
    request.l_type = type;
    request.l_whence = SEEK_SET;
    request.l_start = byte;
    request.l_len = 1;
    int result;
    do {
        result = fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &request);
    } while (result == -1 && errno == EINTR);
    return result == 0;
}

// True when another open file description holds a lock on the byte. When the kernel cannot
// tell, the holder is taken to be alive: a slot is never taken from a live process.
bool LockedElsewhere(int fd, off_t byte)
{
    struct flock request {};
    request.l_type = F_WRLCK;
    request.l_whence = SEEK_SET;
    request.l_start = byte;
    request.l_len = 1;
    if (fcntl(fd, F_OFD_GETLK, &request) == -1)
        return true;
    return request.l_type != F_UNLCK;
}

bool InitialiseMutex(pthread_mutex_t& mutex)
{
    pthread_mutexattr_t attributes;
    if (pthread_mutexattr_init(&attributes) != 0)
        return false;
    bool ok = pthread_mutexattr_setpshared(&attributes, PTHREAD_PROCESS_SHARED) == 0 &&
              pthread_mutexattr_setrobust(&attributes, PTHREAD_MUTEX_ROBUST) == 0 &&
              pthread_mutex_init(&mutex, &attributes) == 0;
    pthread_mutexattr_destroy(&attributes);
    return ok;
}

constexpr int64_t kNanosecondsPerSecond = 1000000000;
constexpr int64_t kBriefWait = 10000000;                 // 10 ms
constexpr int64_t kStartUpWait = kNanosecondsPerSecond;  // QLIN_Init runs once, at the agent's start
constexpr int64_t kFreeOnlyFor = kNanosecondsPerSecond;

// Until this moment (CLOCK_MONOTONIC, ns) bounded waits take the mutex only when it is free at
// once; 0 while they may wait. Process-local: any thread of the agent may call.
std::atomic<int64_t> freeOnlyUntil{0};

int64_t MonotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t(now.tv_sec) * kNanosecondsPerSecond + now.tv_nsec;
}

// Takes the mutex as pthread_mutex_lock does, but gives up with EBUSY or ETIMEDOUT while another
// process keeps it. The wait runs on the monotonic clock, so that a step of the wall clock
// cannot stretch it.
int LockBounded(pthread_mutex_t* mutex, LockWait wait)
{
    const int64_t now = MonotonicNow();
    int result;
    if (now < freeOnlyUntil.load(std::memory_order_relaxed)) {
        result = pthread_mutex_trylock(mutex);
    } else {
        const int64_t deadline = now + (wait == LockWait::StartUp ? kStartUpWait : kBriefWait);
        const timespec until{static_cast<time_t>(deadline / kNanosecondsPerSecond),
                             static_cast<long>(deadline % kNanosecondsPerSecond)};
        result = pthread_mutex_clocklock(mutex, CLOCK_MONOTONIC, &until);
        if (result == ETIMEDOUT)
            freeOnlyUntil.store(MonotonicNow() + kFreeOnlyFor, std::memory_order_relaxed);
    }
    if ((result == 0 || result == EOWNERDEAD) && freeOnlyUntil.load(std::memory_order_relaxed) != 0)
        freeOnlyUntil.store(0, std::memory_order_relaxed);
    return result;
}

void* MapObject(int fd, size_t size)
{
    void* address = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return address == MAP_FAILED ? nullptr : address;
}

}  // namespace

Attachment& Attachment::Process()
{
    static Attachment attachment;
    return attachment;
}

bool Attachment::Attach()
{
    if (Attached())
        return true;
    const char* name = QLIN2_SharedName();
    if (name == nullptr) {
        std::fprintf(stderr,
                     "QLIN2: %s must begin with \"/\", contain no further \"/\" and be 2 to %d "
                     "characters long; the line interface is not available\n",
                     QLIN_SHM_NAME_ENV, QLIN_SHM_NAME_MAX);
        return false;
    }
    std::snprintf(sharedName_, sizeof sharedName_, "%s", name);
    std::snprintf(lockName_, sizeof lockName_, "%s%s", name, QLIN_LOCK_SUFFIX);

    int lockFd = shm_open(lockName_, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (lockFd == -1) {
        Report("cannot open the lock object", lockName_, errno);
        return false;
    }
    // One process at a time decides whether it is the first and sets the objects up.
    if (!LockByte(lockFd, F_WRLCK, GateByte, true)) {
        Report("cannot lock", lockName_, errno);
        close(lockFd);
        return false;
    }
    bool ok = AttachLocked(lockFd);
    LockByte(lockFd, F_UNLCK, GateByte, false);
    if (!ok) {
        close(lockFd);
        return false;
    }
    lockFd_ = lockFd;
    pid_ = getpid();
    attached_.store(true, std::memory_order_release);
    return true;
}

bool Attachment::AttachLocked(int lockFd)
{
    const bool first = !LockedElsewhere(lockFd, AttachedByte);

    int blockFd = shm_open(sharedName_, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (blockFd == -1) {
        Report("cannot open the shared block", sharedName_, errno);
        return false;
    }
    struct stat blockInfo {
    }, lockInfo{};
    if (fstat(blockFd, &blockInfo) == -1 || fstat(lockFd, &lockInfo) == -1) {
        Report("cannot inspect", sharedName_, errno);
        close(blockFd);
        return false;
    }
    if (first) {
        if ((blockInfo.st_size != QLIN_BLOCK_SIZE && ftruncate(blockFd, QLIN_BLOCK_SIZE) == -1) ||
            (lockInfo.st_size != kLockObjectSize && ftruncate(lockFd, kLockObjectSize) == -1)) {
            Report("cannot size", sharedName_, errno);
            close(blockFd);
            return false;
        }
    } else if (blockInfo.st_size != QLIN_BLOCK_SIZE || lockInfo.st_size != kLockObjectSize) {
        Report("unexpected size of", sharedName_, EINVAL);
        close(blockFd);
        return false;
    }

    void* block = MapObject(blockFd, QLIN_BLOCK_SIZE);
    int mapError = errno;
    close(blockFd);
    if (block == nullptr) {
        Report("cannot map", sharedName_, mapError);
        return false;
    }
    void* area = MapObject(lockFd, kLockObjectSize);
    if (area == nullptr) {
        Report("cannot map", lockName_, errno);
        munmap(block, QLIN_BLOCK_SIZE);
        return false;
    }
    auto* lockArea = static_cast<LockArea*>(area);

    if (first) {
        // Nobody else is attached, so nobody can be using the old contents or the old mutex.
        std::memset(block, 0, QLIN_BLOCK_SIZE);
        std::memset(area, 0, kLockObjectSize);
        if (!InitialiseMutex(lockArea->Mutex)) {
            Report("cannot set up the mutex in", lockName_, EINVAL);
            munmap(block, QLIN_BLOCK_SIZE);
            munmap(area, kLockObjectSize);
            return false;
        }
        lockArea->Size = sizeof(LockArea);
        lockArea->Magic = LockAreaMagic;
    } else if (lockArea->Magic != LockAreaMagic || lockArea->Size != sizeof(LockArea)) {
        Report("unknown contents of", lockName_, EINVAL);
        munmap(block, QLIN_BLOCK_SIZE);
        munmap(area, kLockObjectSize);
        return false;
    }

    // The counter is only touched under the gate lock.
    const uint64_t number = ++lockArea->NextAttachment;
    if (!LockByte(lockFd, F_RDLCK, AttachedByte, false) ||
        !LockByte(lockFd, F_WRLCK, AttachmentBase + static_cast<off_t>(number), false)) {
        Report("cannot lock", lockName_, errno);
        munmap(block, QLIN_BLOCK_SIZE);
        munmap(area, kLockObjectSize);
        return false;
    }
    block_ = static_cast<TSharedBlock*>(block);
    lockArea_ = lockArea;
    number_ = number;
    return true;
}

void Attachment::Detach()
{
    if (!Attached())
        return;
    // A child made by fork() shares the parent's attachment; only the process that attached
    // gives its slots back.
    if (getpid() == pid_)
        ReleaseSlotsOfThisProcess();
    attached_.store(false, std::memory_order_release);
    munmap(block_, QLIN_BLOCK_SIZE);
    munmap(lockArea_, kLockObjectSize);
    block_ = nullptr;
    lockArea_ = nullptr;
    // Closing the descriptor drops our locks once no forked child shares it any more.
    close(lockFd_);
    lockFd_ = -1;
}

void Attachment::ReleaseSlotsOfThisProcess()
{
    // Unloading must not hang on a client stopped inside a call. Without the lock the slots stay
    // marked in the block, which is harmless: closing the lock object's descriptor drops this
    // attachment's byte lock, and from then on QLIN_Open counts its slots as free.
    BlockLock lock(*this, LockWait::Briefly);
    if (!lock.Held())
        return;
    for (int slot = 0; slot < QLIN_SLOT_COUNT; ++slot) {
        if (lockArea_->SlotOwner[slot] == number_) {
            block_->Slots[slot].InUse = 0;
            lockArea_->SlotOwner[slot] = 0;
        }
    }
}

bool Attachment::Alive(uint64_t number) const
{
    if (number == 0)
        return false;
    if (number == number_)
        return true;
    return LockedElsewhere(lockFd_, AttachmentBase + static_cast<off_t>(number));
}

BlockLock::BlockLock(const Attachment& attachment, LockWait wait)
{
    if (!attachment.Attached())
        return;
    pthread_mutex_t* mutex = &attachment.Locks().Mutex;
    int result = wait == LockWait::Always ? pthread_mutex_lock(mutex) : LockBounded(mutex, wait);
    if (result == EBUSY || result == ETIMEDOUT) {
        timedOut_ = true;
        return;
    }
    if (result == EOWNERDEAD) {
        // Its holder died inside a call; every call checks what it reads, so carry on.
        result = pthread_mutex_consistent(mutex);
        if (result != 0)
            pthread_mutex_unlock(mutex);
    }
    if (result == 0)
        mutex_ = mutex;
}

BlockLock::~BlockLock()
{
    if (mutex_ != nullptr)
        pthread_mutex_unlock(mutex_);
}

}  // namespace varno::qlin2
