#pragma once
// The program's growable lists with 0-based positions: `Vector` of shared
// object references (equality is object identity), and `StringVector`,
// `BooleanVector`, `DateVector`. Counts are 32-bit; positions outside the list
// are a caller error and throw std::out_of_range.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/datetime.h"

namespace qv {

namespace detail {
inline void checkVectorPosition(std::int32_t position, std::size_t count, bool allowEnd) {
    const std::size_t limit = allowEnd ? count + 1 : count;
    if (position < 0 || static_cast<std::size_t>(position) >= limit)
        throw std::out_of_range("vector position out of range");
}
}  // namespace detail

template <class T>
class Vector {
  public:
    using Element = std::shared_ptr<T>;
    using Ptr = std::shared_ptr<Vector>;
    using iterator = typename std::vector<Element>::iterator;
    using const_iterator = typename std::vector<Element>::const_iterator;

    Vector() = default;

    static Ptr createVector() { return std::make_shared<Vector>(); }
    // A vector holding `obj` n times.
    static Ptr createVectorWithObj(const Element& obj, std::int32_t n) {
        auto v = createVector();
        if (n > 0) v->items_.assign(static_cast<std::size_t>(n), obj);
        return v;
    }

    void clear() {
        std::vector<Element> old;
        old.swap(items_);  // releases the elements and the storage
    }

    void addElementAt(Element obj, std::int32_t Index) {
        detail::checkVectorPosition(Index, items_.size(), true);
        items_.insert(items_.begin() + Index, std::move(obj));
    }
    void addElement(Element obj) { items_.push_back(std::move(obj)); }

    void addVectorAt(const Vector& vect, std::int32_t Index) {
        detail::checkVectorPosition(Index, items_.size(), true);
        const std::vector<Element> copy = vect.items_;  // safe when vect is *this
        items_.insert(items_.begin() + Index, copy.begin(), copy.end());
    }
    void addVector(const Vector& vect) { addVectorAt(vect, numberOfElements()); }

    void setElementAt(Element obj, std::int32_t Index) {
        detail::checkVectorPosition(Index, items_.size(), false);
        items_[static_cast<std::size_t>(Index)] = std::move(obj);
    }
    void removeElementAt(std::int32_t Index) {
        detail::checkVectorPosition(Index, items_.size(), false);
        items_.erase(items_.begin() + Index);
    }
    // Removes every occurrence of that very object.
    void remove(const Element& obj) {
        const T* target = obj.get();
        items_.erase(std::remove_if(items_.begin(), items_.end(),
                                    [target](const Element& e) { return e.get() == target; }),
                     items_.end());
    }

    Element elementAt(std::int32_t Index) const {
        detail::checkVectorPosition(Index, items_.size(), false);
        return items_[static_cast<std::size_t>(Index)];
    }
    std::int32_t numberOfElements() const { return static_cast<std::int32_t>(items_.size()); }

    bool contains(const Element& obj) const { return indexOf(obj, 0) >= 0; }
    // First position >= beginIndex holding that very object, or -1.
    std::int32_t indexOf(const Element& obj, std::int32_t beginIndex = 0) const {
        const std::int32_t n = numberOfElements();
        for (std::int32_t i = std::max(beginIndex, 0); i < n; ++i)
            if (items_[static_cast<std::size_t>(i)].get() == obj.get()) return i;
        return -1;
    }

    // Exchanges two elements; does nothing unless both positions are in range.
    void swap(std::int32_t index1, std::int32_t index2) {
        const std::int32_t n = numberOfElements();
        if (index1 < 0 || index2 < 0 || index1 >= n || index2 >= n) return;
        std::swap(items_[static_cast<std::size_t>(index1)],
                  items_[static_cast<std::size_t>(index2)]);
    }
    // When both are present, the first occurrence of each takes the other's place.
    void swapObjects(const Element& obj1, const Element& obj2) {
        const std::int32_t i1 = indexOf(obj1), i2 = indexOf(obj2);
        if (i1 >= 0 && i2 >= 0) swap(i1, i2);
    }
    void reverse() { std::reverse(items_.begin(), items_.end()); }

    // A new vector holding the same references (the objects are shared).
    Ptr getCopy() const { return std::make_shared<Vector>(*this); }

    iterator begin() { return items_.begin(); }
    iterator end() { return items_.end(); }
    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

  private:
    std::vector<Element> items_;
};

class StringVector {
  public:
    using const_iterator = std::vector<std::string>::const_iterator;

    void clear() { std::vector<std::string>().swap(items_); }
    std::int32_t numberOfElements() const { return static_cast<std::int32_t>(items_.size()); }

    const std::string& stringAt(std::int32_t position) const {
        detail::checkVectorPosition(position, items_.size(), false);
        return items_[static_cast<std::size_t>(position)];
    }
    void addString(std::string value) { items_.push_back(std::move(value)); }
    void addStringVector(const StringVector& vect) {
        const std::vector<std::string> copy = vect.items_;  // safe when vect is *this
        items_.insert(items_.end(), copy.begin(), copy.end());
    }
    void removeStringAt(std::int32_t position) {
        detail::checkVectorPosition(position, items_.size(), false);
        items_.erase(items_.begin() + position);
    }
    // First position whose string equals it exactly (case-sensitive), or -1.
    std::int32_t indexOf(std::string_view value) const {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (items_[i] == value) return static_cast<std::int32_t>(i);
        return -1;
    }

    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

  private:
    std::vector<std::string> items_;
};

class BooleanVector {
  public:
    void clear() { std::vector<bool>().swap(items_); }
    std::int32_t numberOfElements() const { return static_cast<std::int32_t>(items_.size()); }

    bool booleanAt(std::int32_t position) const {
        detail::checkVectorPosition(position, items_.size(), false);
        return items_[static_cast<std::size_t>(position)];
    }
    // Replaces the value at that position.
    void booleanAt(std::int32_t position, bool value) {
        detail::checkVectorPosition(position, items_.size(), false);
        items_[static_cast<std::size_t>(position)] = value;
    }
    void addBoolean(bool value) { items_.push_back(value); }
    void addBooleanAt(bool value, std::int32_t position) {
        detail::checkVectorPosition(position, items_.size(), true);
        items_.insert(items_.begin() + position, value);
    }
    void removeBooleanAt(std::int32_t position) {
        detail::checkVectorPosition(position, items_.size(), false);
        items_.erase(items_.begin() + position);
    }

    std::vector<bool>::const_iterator begin() const { return items_.begin(); }
    std::vector<bool>::const_iterator end() const { return items_.end(); }

  private:
    std::vector<bool> items_;
};

class DateVector {
  public:
    using const_iterator = std::vector<DateTime>::const_iterator;

    void clear() { std::vector<DateTime>().swap(items_); }
    std::int32_t numberOfElements() const { return static_cast<std::int32_t>(items_.size()); }

    DateTime dateAt(std::int32_t position) const {
        detail::checkVectorPosition(position, items_.size(), false);
        return items_[static_cast<std::size_t>(position)];
    }
    void addDate(DateTime value) { items_.push_back(value); }
    void addDateAt(DateTime value, std::int32_t position) {
        detail::checkVectorPosition(position, items_.size(), true);
        // Appended and rotated into place: vector::insert of this type trips a
        // false -Wstringop-overflow in GCC 12.
        items_.push_back(value);
        std::rotate(items_.begin() + position, items_.end() - 1, items_.end());
    }
    void removeDateAt(std::int32_t position) {
        detail::checkVectorPosition(position, items_.size(), false);
        items_.erase(items_.begin() + position);
    }

    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

  private:
    std::vector<DateTime> items_;
};

}  // namespace qv
