// Collections: ordered lists of items of one class, owned by the collection.
// A collection is stored in a description as "< item ... end ... >" and its
// owner (a component or other persistent object) names it.
#ifndef DATASET_COLLECTION_H
#define DATASET_COLLECTION_H

#include <functional>
#include <string>
#include <vector>

#include "dataset/component.h"

namespace dataset {

class TCollection;

// An item of a collection. Created through its collection (Add, Insert) or
// directly with the collection as argument; deleting an item removes it
// from its collection.
class TCollectionItem : public TPersistent {
 public:
  // `collection` may be null; a non-null collection takes ownership.
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;

  TCollection* Collection() const { return collection_; }
  // Moves the item to another collection (or none: then the caller owns it).
  void SetCollection(TCollection* collection);
  // Position in the collection, -1 without one. SetIndex moves the item.
  int Index() const;
  void SetIndex(int index);
  // Unique within the collection for the collection's lifetime.
  int ID() const { return id_; }
  // The text a designer shows; the class name by default.
  virtual std::string DisplayName() const;

  TPersistent* GetOwner() const override;
  // "<collection path>[<index>]".
  std::string GetNamePath() const override;

 protected:
  // Tells the collection that this item changed (all: more than itself).
  void Changed(bool all);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;  // Owns this item; may be null
  int id_ = 0;
};

// What happened to an item that Notify reports.
enum TCollectionNotification { cnAdded, cnExtracting, cnDeleting };

class TCollection : public TPersistent {
 public:
  // Makes a new item of the collection's class inside `collection`.
  using ItemFactory = std::function<TCollectionItem*(TCollection* collection)>;

  // `factory` creates the items Add and Insert return; `owner` is the
  // object that holds the collection (may be null).
  TCollection(ItemFactory factory, TPersistent* owner = nullptr);
  ~TCollection() override;

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError "List index out of bounds (i)" for a bad index.
  // Inline: datasets read field descriptors through it for every value.
  TCollectionItem* Items(int index) const {
    if (index < 0 || index >= Count()) IndexOutOfBounds(index);
    return items_[static_cast<size_t>(index)];
  }
  TCollectionItem* Add();
  TCollectionItem* Insert(int index);
  // Destroys the item at `index`.
  void Delete(int index);
  // Destroys every item.
  void Clear();
  // Items by ID; null when there is none.
  TCollectionItem* FindItemID(int id) const;
  void Exchange(int index1, int index2);

  // Copies the items of another collection: clears, then adds one item per
  // source item and assigns it (one Update at the end).
  void Assign(const TPersistent* source) override;

  // Updates: while open, Update is held back and run once at the end.
  void BeginUpdate();
  void EndUpdate();
  int UpdateCount() const { return update_count_; }

  TPersistent* Owner() const { return owner_; }
  TPersistent* GetOwner() const override { return owner_; }
  // "<owner path>.<PropName>", PropName set by the owner.
  std::string GetNamePath() const override;
  const std::string& PropName() const { return prop_name_; }
  void SetPropName(const std::string& name) { prop_name_ = name; }

 protected:
  // Called after a change; `item` is the changed item or null when the
  // whole collection changed. The default does nothing.
  virtual void Update(TCollectionItem* item);
  // Called when an item is added, is about to leave or is about to be
  // destroyed. The default does nothing.
  virtual void Notify(TCollectionItem* item, TCollectionNotification action);
  // Runs Update unless an update is open.
  void Changed();
  // Item storage for derived collections.
  const std::vector<TCollectionItem*>& ItemList() const { return items_; }

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item, int index);
  void RemoveItem(TCollectionItem* item);
  void CheckIndex(int index) const;
  [[noreturn]] static void IndexOutOfBounds(int index);

  ItemFactory factory_;
  TPersistent* owner_ = nullptr;         // Holds this collection; not owned
  std::vector<TCollectionItem*> items_;  // Owned
  int update_count_ = 0;
  int next_id_ = 0;        // ID of the next item added
  std::string prop_name_;  // Property name under the owner
};

}  // namespace dataset

#endif  // DATASET_COLLECTION_H
