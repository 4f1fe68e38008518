// The cached cast gives what dynamic_cast gives, for every dynamic type, also the second time
// (from the table) and across multiple and virtual inheritance.
#include "platform/fast_cast.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace pagewright {
namespace {

struct TBase {
  virtual ~TBase() = default;
  int b = 1;
};
struct TFace {
  virtual ~TFace() = default;
  int f = 2;
};
struct TLeft : virtual TBase {
  int l = 3;
};
struct TRight : virtual TBase {
  int r = 4;
};
struct TDiamond : TLeft, TRight, TFace {
  int d = 5;
};
struct TPlain : TBase, TFace {
  int p = 6;
};

template <class T>
void ExpectSameAsDynamicCast(const std::vector<TBase*>& objects) {
  for (int round = 0; round < 2; ++round) {  // the second round answers from the table
    for (TBase* o : objects) {
      EXPECT_EQ(FastCast<T>(o), dynamic_cast<T*>(o)) << typeid(*o).name() << " round " << round;
      const TBase* c = o;
      EXPECT_EQ(FastCast<const T>(c), dynamic_cast<const T*>(c)) << typeid(*o).name();
    }
  }
}

TEST(FastCast, AnswersAsDynamicCast) {
  auto diamond = std::make_unique<TDiamond>();
  auto plain = std::make_unique<TPlain>();
  auto left = std::make_unique<TLeft>();
  auto base = std::make_unique<TBase>();
  const std::vector<TBase*> objects = {diamond.get(), plain.get(), left.get(), base.get(), nullptr};
  ExpectSameAsDynamicCast<TFace>(objects);  // a cross-cast, found in two types out of four
  ExpectSameAsDynamicCast<TLeft>(objects);
  ExpectSameAsDynamicCast<TRight>(objects);
  ExpectSameAsDynamicCast<TDiamond>(objects);
  ExpectSameAsDynamicCast<TPlain>(objects);
  ExpectSameAsDynamicCast<TBase>(objects);
  // The member reached through the cached offset is the object's own.
  EXPECT_EQ(FastCast<TFace>(static_cast<TBase*>(diamond.get()))->f, 2);
  diamond->f = 7;
  EXPECT_EQ(FastCast<TFace>(static_cast<TBase*>(diamond.get()))->f, 7);
}

}  // namespace
}  // namespace pagewright
