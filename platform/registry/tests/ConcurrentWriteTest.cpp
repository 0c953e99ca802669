// Several writers on one key, in threads and in processes: readers only ever see complete files
// and no writer's value is lost.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "TempRoot.h"
#include "registry/Registry.h"

using namespace orva::registry;
using orva::registry::test::TempRoot;

namespace {
const char* const kKey = "SOFTWARE\\ORVAAutomation\\Vardel";
constexpr std::size_t kBigValueSize = 64 * 1024;
}  // namespace

TEST(RegistryConcurrency, ThreadsNeitherTearTheFileNorLoseValues)
{
    const TempRoot root;
    const Registry registry(root.path());
    ASSERT_EQ(registry.writeString(kKey, "shared", std::string(kBigValueSize, '-')), Status::Ok);

    constexpr int kWriters = 4;
    constexpr int kRounds = 25;
    std::atomic<int> writersLeft{kWriters};
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int w = 0; w < kWriters; ++w) {
        writers.emplace_back([&, w] {
            const std::string big(kBigValueSize, static_cast<char>('a' + w));
            for (int round = 0; round < kRounds; ++round) {
                if (registry.writeString(kKey, "shared", big) != Status::Ok) ++failures;
                if (registry.writeString(kKey, "writer" + std::to_string(w), std::to_string(round)) !=
                    Status::Ok)
                    ++failures;
            }
            --writersLeft;
        });
    }

    int reads = 0;
    int torn = 0;
    while (writersLeft > 0 && reads < 100000) {
        std::string value;
        const Status s = registry.readString(kKey, "shared", value);
        ++reads;
        const bool uniform =
            value.size() == kBigValueSize && value.find_first_not_of(value[0]) == std::string::npos;
        if (s != Status::Ok || !uniform) ++torn;
    }
    for (auto& t : writers)
        t.join();

    EXPECT_EQ(failures, 0);
    EXPECT_EQ(torn, 0) << "of " << reads << " reads";
    for (int w = 0; w < kWriters; ++w) {
        std::string value;
        ASSERT_EQ(registry.readString(kKey, "writer" + std::to_string(w), value), Status::Ok);
        EXPECT_EQ(value, std::to_string(kRounds - 1));
    }
}

TEST(RegistryConcurrency, ProcessesDoNotLoseEachOthersValues)
{
    const TempRoot root;
    const Registry registry(root.path());
    constexpr int kChildren = 3;
    constexpr int kValuesEach = 15;
    std::vector<pid_t> children;
    for (int c = 0; c < kChildren; ++c) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            int bad = 0;
            for (int i = 0; i < kValuesEach; ++i)
                if (registry.writeString(kKey, "p" + std::to_string(c) + "-" + std::to_string(i), "x") !=
                    Status::Ok)
                    ++bad;
            ::_exit(bad == 0 ? 0 : 1);
        }
        children.push_back(pid);
    }
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    RegistryKey key;
    ASSERT_EQ(registry.openKey(kKey, key), Status::Ok);
    std::vector<KeyValue> values;
    ASSERT_EQ(key.readAll(values), Status::Ok);
    EXPECT_EQ(values.size(), static_cast<std::size_t>(kChildren * kValuesEach));
}
