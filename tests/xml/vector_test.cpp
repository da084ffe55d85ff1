#include "xml/vector.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>

using namespace qv;

namespace {
struct Item {
    int value = 0;
};
using ItemPtr = std::shared_ptr<Item>;
ItemPtr item(int v) { return std::make_shared<Item>(Item{v}); }
}  // namespace

TEST(Vector, EqualityIsIdentity) {
    auto v = Vector<Item>::createVector();
    auto a = item(1), twin = item(1);
    v->addElement(a);
    EXPECT_TRUE(v->contains(a));
    EXPECT_FALSE(v->contains(twin));
    EXPECT_EQ(v->indexOf(twin), -1);
    v->remove(twin);
    EXPECT_EQ(v->numberOfElements(), 1);
}

TEST(Vector, RemoveTakesEveryOccurrence) {
    auto a = item(1), b = item(2);
    auto v = Vector<Item>::createVectorWithObj(a, 3);
    v->addElementAt(b, 1);
    v->remove(a);
    ASSERT_EQ(v->numberOfElements(), 1);
    EXPECT_EQ(v->elementAt(0), b);
}

TEST(Vector, IndexOfStartsAtBeginIndex) {
    auto a = item(1), b = item(2);
    Vector<Item> v;
    for (const auto& e : {a, a, b, a}) v.addElement(e);
    EXPECT_EQ(v.indexOf(a, 2), 3);
    EXPECT_EQ(v.indexOf(a, 4), -1);
    EXPECT_EQ(v.indexOf(b, -5), 2);
}

TEST(Vector, SwapReverseAndInsertKeepOrder) {
    auto a = item(0), b = item(1), c = item(2), d = item(3);
    Vector<Item> v;
    v.addElement(a);
    v.addElement(b);
    v.addElement(c);
    v.swap(0, 5);
    v.swap(-1, 0);
    EXPECT_EQ(v.elementAt(0), a);
    v.swap(0, 2);
    EXPECT_EQ(v.elementAt(0), c);
    EXPECT_EQ(v.elementAt(2), a);
    v.swapObjects(a, c);
    EXPECT_EQ(v.elementAt(0), a);
    v.swapObjects(a, d);  // d is absent: nothing happens
    EXPECT_EQ(v.elementAt(0), a);
    v.reverse();
    EXPECT_EQ(v.elementAt(0), c);

    v.addVectorAt(v, 1);  // itself, in the middle
    std::string order;
    for (const auto& e : v) order += std::to_string(e->value);
    EXPECT_EQ(order, "221010");
    v.removeElementAt(0);
    v.setElementAt(d, 0);
    EXPECT_EQ(v.elementAt(0), d);
}

TEST(Vector, CopySharesTheElements) {
    Vector<Item> v;
    v.addElement(item(1));
    auto copy = v.getCopy();
    copy->elementAt(0)->value = 42;
    EXPECT_EQ(v.elementAt(0)->value, 42);
    copy->addElement(item(2));
    EXPECT_EQ(v.numberOfElements(), 1);
    v.clear();
    EXPECT_EQ(v.numberOfElements(), 0);
    EXPECT_EQ(copy->numberOfElements(), 2);
}

TEST(Vector, HoldsFarMoreThanTwentyThousandElements) {
    Vector<Item> v;
    auto last = item(-1);
    for (int i = 0; i < 40000; ++i) v.addElement(item(i));
    v.addElement(last);
    EXPECT_EQ(v.numberOfElements(), 40001);
    EXPECT_EQ(v.indexOf(last), 40000);
    EXPECT_EQ(v.elementAt(30000)->value, 30000);
}

TEST(Vector, PositionsOutsideThrow) {
    Vector<Item> v;
    EXPECT_THROW(v.elementAt(0), std::out_of_range);
    EXPECT_THROW(v.addElementAt(item(1), 1), std::out_of_range);
    EXPECT_THROW(v.removeElementAt(0), std::out_of_range);
    EXPECT_THROW(v.setElementAt(item(1), -1), std::out_of_range);
    v.addElementAt(item(1), 0);
    EXPECT_THROW(v.elementAt(1), std::out_of_range);
}

TEST(TypedVectors, StringVector) {
    StringVector s;
    s.addString("ABC");
    s.addString("x");
    EXPECT_EQ(s.indexOf("abc"), -1);
    EXPECT_EQ(s.indexOf("ABC"), 0);
    s.addStringVector(s);
    EXPECT_EQ(s.numberOfElements(), 4);
    EXPECT_EQ(s.stringAt(3), "x");
    s.removeStringAt(0);
    EXPECT_EQ(s.stringAt(0), "x");
    EXPECT_THROW(s.stringAt(3), std::out_of_range);
    s.clear();
    EXPECT_EQ(s.numberOfElements(), 0);
}

TEST(TypedVectors, BooleanAndDateVectors) {
    BooleanVector b;
    b.addBoolean(true);
    b.addBooleanAt(false, 0);
    EXPECT_FALSE(b.booleanAt(0));
    EXPECT_TRUE(b.booleanAt(1));
    b.booleanAt(0, true);
    EXPECT_TRUE(b.booleanAt(0));
    b.removeBooleanAt(1);
    EXPECT_EQ(b.numberOfElements(), 1);
    EXPECT_THROW(b.booleanAt(1, true), std::out_of_range);

    DateVector d;
    d.addDate(kNever);
    d.addDateAt(kDayZero, 0);
    d.addDateAt(kGivenUp, 2);
    EXPECT_EQ(d.dateAt(0), kDayZero);
    EXPECT_EQ(d.dateAt(2), kGivenUp);
    d.removeDateAt(0);
    EXPECT_EQ(d.dateAt(0), kNever);
    EXPECT_THROW(d.addDateAt(kNever, 5), std::out_of_range);
}
