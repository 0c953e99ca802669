#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "opc/Quality.h"
#include "opc/SOCmnEvent.h"
#include "opc/SOCmnException.h"
#include "opc/SOCmnList.h"
#include "opc/SOCmnString.h"
#include "opc/SOCmnTrace.h"

using namespace orva::opc;

namespace {

std::atomic<int> destroyed{0};

class Counted : public SOCmnObject {
public:
    explicit Counted(int v = 0) : value(v) {}
    int value;

protected:
    ~Counted() override { ++destroyed; }
};

}  // namespace

TEST(CommonObjects, PointerAdoptsSharesAndReleases)
{
    destroyed = 0;
    {
        SOCmnPointer<Counted> a(new Counted(7));
        EXPECT_EQ(a->getRefCount(), 1u);
        SOCmnPointer<Counted> b = a;
        EXPECT_EQ(a->getRefCount(), 2u);
        SOCmnPointer<Counted> c = shareRef(a.get());
        EXPECT_EQ(a->getRefCount(), 3u);
        c = std::move(b);
        EXPECT_EQ(a->getRefCount(), 2u);
        Counted* raw = c.detach();
        EXPECT_EQ(raw->release(), 1u);
        EXPECT_EQ(destroyed.load(), 0);
    }
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(CommonObjects, ConcurrentAddRefReleaseDestroysOnce)
{
    destroyed = 0;
    SOCmnPointer<Counted> p(new Counted);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i)
                shareRef(p.get());
        });
    for (auto& t : threads)
        t.join();
    EXPECT_EQ(p->getRefCount(), 1u);
    p.reset();
    EXPECT_EQ(destroyed.load(), 1);
}

TEST(CommonObjects, ListHoldsReferencesAndIteratesInOrder)
{
    destroyed = 0;
    SOCmnList<Counted> list;
    {
        SOCmnPointer<Counted> a(new Counted(1)), b(new Counted(2)), c(new Counted(3));
        EXPECT_TRUE(list.add(a.get()));
        list.add(b.get());
        list.add(c.get());
        list.add(a.get());
        EXPECT_FALSE(list.add(nullptr));
        EXPECT_EQ(a->getRefCount(), 3u);
    }
    EXPECT_EQ(destroyed.load(), 0);
    EXPECT_EQ(list.getCount(), 4u);

    std::vector<int> seen;
    list.lock();
    SOCmnListPosition pos = list.getStartPosition();
    while (pos)
        seen.push_back(list.getNext(pos)->value);
    list.unlock();
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 1}));
    EXPECT_EQ(list.getIndex(2)->value, 3);
    EXPECT_EQ(list.getIndex(9), nullptr);

    EXPECT_EQ(list.removeEvery(list.getIndex(0)), 2u);
    EXPECT_EQ(destroyed.load(), 1);
    SOCmnPointer<Counted> head = list.removeHead();
    EXPECT_EQ(head->value, 2);
    EXPECT_EQ(list.getCount(), 1u);
    head.reset();
    EXPECT_EQ(destroyed.load(), 2);
    list.removeAll();
    EXPECT_TRUE(list.isEmpty());
    EXPECT_EQ(destroyed.load(), 3);
    EXPECT_FALSE(list.removeHead());
    SOCmnListPosition none = list.getStartPosition();
    EXPECT_EQ(none, 0u);
    EXPECT_EQ(list.getNext(none), nullptr);
}

TEST(CommonObjects, StringReplaceCountsAndFormats)
{
    SOCmnString s("C:\\Servers\\Tornel.exe");
    EXPECT_EQ(s.replace(".exe", ""), 1);
    EXPECT_EQ(s.replace(".EXE", ""), 0);
    s += ".xml";
    EXPECT_EQ(s, "C:\\Servers\\Tornel.xml");
    SOCmnString t("aaa");
    EXPECT_EQ(t.replace("a", "bb"), 3);
    EXPECT_EQ(t, "bbbbbb");
    EXPECT_EQ(t.replace("", "x"), 0);
    SOCmnString f;
    f.format("%s on %s\n", "Timeout", "Line1");
    EXPECT_EQ(f, "Timeout on Line1\n");
}

TEST(CommonObjects, Utf8AndUtf16RoundTripAndRejectBrokenInput)
{
    EXPECT_EQ(utf8ToUtf16("Temp\xC3\xA9rature"), u"Temp\u00e9rature");
    EXPECT_EQ(utf16ToUtf8(u"Temp\u00e9rature"), "Temp\xC3\xA9rature");
    EXPECT_EQ(utf16ToUtf8(utf8ToUtf16("\xF0\x9F\x98\x80")), "\xF0\x9F\x98\x80");
    // A lone Latin-1 byte and a truncated sequence become U+FFFD, nothing is read past the end.
    EXPECT_EQ(utf8ToUtf16("a\xE9z"), u"a\uFFFDz");
    EXPECT_EQ(utf8ToUtf16("\xE2\x82"), u"\uFFFD\uFFFD");
    EXPECT_EQ(utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");  // overlong
    EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CommonObjects, EventsSignalAcrossThreadsAndPoolResetsThem)
{
    SOCmnEventPool pool;
    SOCmnEvent* e = pool.popEvent();
    EXPECT_FALSE(e->wait(10));
    std::thread t([e] { e->signal(); });
    EXPECT_TRUE(e->wait(10000));
    t.join();
    EXPECT_TRUE(e->isSignaled());
    pool.pushEvent(e);
    EXPECT_FALSE(e->isSignaled());
    EXPECT_EQ(pool.popEvent(), e);
    EXPECT_NE(pool.popEvent(), e);
}

TEST(CommonObjects, TraceWritesOnlyEnabledGroupsAndExceptionCarriesCode)
{
    SOCmnTrace* trace = getSOCmnTrace();
    std::vector<std::string> lines;
    trace->setSink([&](std::string_view line) { lines.emplace_back(line); });
    trace->setLevelMask(SOCMNTRACE_G_SERVER);
    trace->trace(SOCMNTRACE_L_ERR, SOCMNTRACE_G_SERVER, "DMS",
                 SOCmnTrace::expand("Can't start %s", "it").c_str());
    trace->trace(SOCMNTRACE_L_ERR, 0x1, "DMS", "hidden");
    trace->setSink(nullptr);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find("[DMS] Can't start it"), std::string::npos);

    try {
        throwOutOfMemory();
        FAIL();
    } catch (const SOCmnException& e) {
        EXPECT_EQ(e.getCode(), 1u);
        EXPECT_EQ(e.getText(), "Out of memory");
    }
}

TEST(CommonObjects, QualityTexts)
{
    EXPECT_EQ(quality2string(0xC0), "GOOD");
    EXPECT_EQ(quality2string(0x40), "UNCERTAIN");
    EXPECT_EQ(quality2string(0x00), "BAD");
    EXPECT_EQ(quality2string(0x18), "BAD (COMM_FAILURE)");
    EXPECT_EQ(quality2string(0x1C), "BAD (OUT_OF_SERVICE)");
    EXPECT_EQ(quality2string(0x0C), "BAD (DEVICE_FAILURE)");
}
