// A process with the library loaded that makes the calls the test asks for, one request per
// line on standard input, one answer per line on standard output:
//   init WINDOW MESSAGE | deinit | line INDEX NAME | lines
//   open NAME CAPACITY | close SLOT
//   put LINE STATE [TEXT]              -> QLIN_PutStates result
//   get SLOT                           -> count, then line:state:text for each record
//   command SLOT LINE STATE [TEXT]     -> QLIN_PutCommand result and the record's Line after it
//   take SLOT                          -> QLIN_GetCommand result and the record (a marked record
//                                         shows whether it was touched)
//   show WINDOW COMMAND                -> QLIN_ShowWindow result
//   nulls SLOT                         -> results of the calls with NULL pointers
//   takeerrno SLOT                     -> like take, with errno after a false result
//                                         (0, ETIMEDOUT or its number)
//   lockdie                            -> takes the block's mutex and dies holding it
//   hold | release                     -> takes the block's mutex and keeps it, standing for a
//                                         client inside a call / lets it go
//   exit
#include "qlin2/LockArea.h"
#include "qlin2/qlin2.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <sstream>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace {

std::string recordText(const TStates& record)
{
    // The text is printed up to its first zero byte but never past its 32 bytes.
    const size_t length = strnlen(record.Text, sizeof record.Text);
    return std::to_string(record.Line) + ":" + std::to_string(record.State) + ":" + std::string(record.Text, length);
}

TStates makeRecord(int line, int state, const std::string& text)
{
    TStates record{};
    record.Line = line;
    record.State = state;
    // A text of 32 characters or more is passed unterminated on purpose.
    std::memcpy(record.Text, text.data(), std::min(text.size(), sizeof record.Text));
    return record;
}

// The block's mutex in the lock object, mapped once; nullptr when the object cannot be mapped.
pthread_mutex_t* blockMutex()
{
    static pthread_mutex_t* mutex = [] {
        const std::string name = std::string(QLIN2_SharedName()) + QLIN_LOCK_SUFFIX;
        const int fd = shm_open(name.c_str(), O_RDWR, 0);
        void* area = fd == -1 ? MAP_FAILED : mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (fd != -1)
            close(fd);
        return area == MAP_FAILED ? nullptr : &static_cast<varno::qlin2::LockArea*>(area)->Mutex;
    }();
    return mutex;
}

[[noreturn]] void lockAndDie()
{
    pthread_mutex_t* mutex = blockMutex();
    if (mutex != nullptr) {
        pthread_mutex_lock(mutex);
        std::cout << "locked" << std::endl;
    } else {
        std::cout << "failed" << std::endl;
    }
    raise(SIGKILL);
    _exit(1);
}

std::string errnoText(int error)
{
    if (error == ETIMEDOUT)
        return "ETIMEDOUT";
    return std::to_string(error);
}

std::string handle(const std::string& request)
{
    std::istringstream in(request);
    std::string verb;
    in >> verb;
    if (verb == "init") {
        uint32_t window = 0, message = 0;
        in >> window >> message;
        QLIN_Init(window, message);
        return "ok";
    }
    if (verb == "deinit") {
        QLIN_DeInit();
        return "ok";
    }
    if (verb == "line") {
        int index = 0;
        std::string name;
        in >> index >> name;
        QLIN_Line(index, name.c_str());
        return "ok";
    }
    if (verb == "lines") {
        char names[QLIN_LINE_NAMES_SIZE];
        std::memset(names, '#', sizeof names);
        const int count = QLIN_GetLines(names);
        std::string answer = std::to_string(count);
        for (int i = 0; i < count && i < QLIN_MAX_LINES; ++i)
            answer += " " + std::string(names + 4 * i, strnlen(names + 4 * i, 4));
        // The byte after the last name shows whether more than 4 x count bytes were written.
        if (count < QLIN_MAX_LINES)
            answer += names[4 * count] == '#' ? " |" : " !";
        return answer;
    }
    if (verb == "open") {
        std::string name;
        int capacity = 0;
        in >> name >> capacity;
        return std::to_string(QLIN_Open(name.c_str(), capacity));
    }
    if (verb == "close") {
        int slot = 0;
        in >> slot;
        QLIN_Close(slot);
        return "ok";
    }
    if (verb == "put") {
        int line = 0, state = 0;
        std::string text;
        in >> line >> state >> text;
        TStates record = makeRecord(line, state, text);
        return QLIN_PutStates(&record) ? "1" : "0";
    }
    if (verb == "get") {
        int slot = 0;
        in >> slot;
        TStates buffer[QLIN_MAX_CAPACITY + 1];
        std::memset(buffer, 0, sizeof buffer);
        buffer[QLIN_MAX_CAPACITY].Line = -99;
        const int count = QLIN_GetStates(slot, buffer);
        std::string answer = std::to_string(count);
        for (int i = 0; i < count && i < QLIN_MAX_CAPACITY; ++i)
            answer += " " + recordText(buffer[i]);
        return answer;
    }
    if (verb == "command") {
        int slot = 0, line = 0, state = 0;
        std::string text;
        in >> slot >> line >> state >> text;
        TStates record = makeRecord(line, state, text);
        const int result = QLIN_PutCommand(slot, &record);
        return std::to_string(result) + " " + std::to_string(record.Line);
    }
    if (verb == "take") {
        int slot = 0;
        in >> slot;
        TStates record = makeRecord(-7, -7, "untouched");
        const bool taken = QLIN_GetCommand(slot, &record);
        return std::string(taken ? "1 " : "0 ") + recordText(record);
    }
    if (verb == "takeerrno") {
        int slot = 0;
        in >> slot;
        TStates record = makeRecord(-7, -7, "untouched");
        errno = EINVAL;  // shows whether a false result set errno at all
        const bool taken = QLIN_GetCommand(slot, &record);
        const int error = errno;
        if (taken)
            return "1 " + recordText(record);
        return "0 " + errnoText(error) + " " + recordText(record);
    }
    if (verb == "show") {
        uint32_t window = 0;
        int command = 0;
        in >> window >> command;
        return std::to_string(QLIN_ShowWindow(window, command));
    }
    if (verb == "nulls") {
        int slot = 0;
        in >> slot;
        QLIN_Line(0, nullptr);
        std::ostringstream out;
        out << QLIN_PutStates(nullptr) << " " << QLIN_GetStates(slot, nullptr) << " " << QLIN_GetCommand(slot, nullptr)
            << " " << QLIN_PutCommand(slot, nullptr) << " " << QLIN_Open(nullptr, 5) << " " << QLIN_Open("", 5) << " "
            << QLIN_GetLines(nullptr);
        return out.str();
    }
    if (verb == "lockdie")
        lockAndDie();
    if (verb == "hold") {
        pthread_mutex_t* mutex = blockMutex();
        return mutex != nullptr && pthread_mutex_lock(mutex) == 0 ? "held" : "failed";
    }
    if (verb == "release") {
        pthread_mutex_t* mutex = blockMutex();
        return mutex != nullptr && pthread_mutex_unlock(mutex) == 0 ? "released" : "failed";
    }
    if (verb == "pid")
        return std::to_string(getpid());
    return "unknown request " + verb;
}

}  // namespace

int main()
{
    std::string request;
    while (std::getline(std::cin, request)) {
        if (request == "exit")
            break;
        std::cout << handle(request) << std::endl;
    }
    return 0;
}
