// Moving objects out of the way of a grown (or shrunk) neighbour above them. Each container gets
// a structure once per run: a tree of "lies below and overlaps horizontally" relations, or for
// bands that ask for it a plain list in top order.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/types.h"

namespace pagewright {

class TpgwComponent;

// One object's node: how much it grew in this stretch, how far it was moved.
class TpgwShiftObject {
 public:
  Extended ShiftAmount = 0;
  Extended ShiftedTo = 0;
  Extended MinDist = 0;
  bool Shifted = false;
  int ParentCount = 0;
  TpgwComponent* ReportObject = nullptr;
  std::vector<TpgwShiftObject*> ShiftChildren;
  // Rectangle inside the container, taken when the structure was built.
  Extended X = 0, Y = 0, X1 = 0, Y1 = 0;
};

class TpgwShiftEngineImpl {
 public:
  TpgwShiftEngineImpl() = default;
  ~TpgwShiftEngineImpl();
  TpgwShiftEngineImpl(const TpgwShiftEngineImpl&) = delete;
  TpgwShiftEngineImpl& operator=(const TpgwShiftEngineImpl&) = delete;

  // Builds the container's structure unless it has one (or its band never shifts).
  void PrepareShiftTree(TpgwComponent* container);
  void InitShiftAmount(TpgwComponent* obj, Extended amount);
  void ShiftObjects(TpgwComponent* container);
  // Forgets every structure and the objects' links to them.
  void Clear();
  void ClearContainer(TpgwComponent* container);
  // Whether the container's structure was made without a tree because none of its objects could
  // change height when it was built.
  bool WithoutTree(TpgwComponent* container) const;

 private:
  struct Structure {
    bool Linear = false;
    bool NothingCouldGrow = false;
    std::vector<std::unique_ptr<TpgwShiftObject>> Items;  // in top order
    std::unique_ptr<TpgwShiftObject> Root;
  };
  void TreeShift(TpgwShiftObject& node, Extended amount, bool isRoot, int depth);
  void LinearShift(Structure& s);
  static void Unlink(Structure& s);

  std::map<TpgwComponent*, std::unique_ptr<Structure>> FContainers;
};

}  // namespace pagewright
