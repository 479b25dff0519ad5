// Stored descriptions of components: reading a description into components
// and writing components back as a description (the text form of
// description_text.h, the classes and properties of class_registry.h, the
// extra stored properties of filer.h).
//
// Reading creates each component of an "object" block through the class
// registry, owned by the root, in order of appearance; sets its properties
// in order; keeps every component it reads in the loading and reading
// states until the whole description is read; then sets the component
// references (which may name components declared later); then clears the
// reading state and runs Loaded() on every component in creation order,
// the root first. Malformed text, unknown classes or properties, bad values
// and failing setters raise EReadError "Line N: ..."; the components
// created by the failed read are destroyed. A failure of a Loaded() step
// propagates as it is, after every other component's Loaded() has run.
#ifndef DATASET_STREAMING_H
#define DATASET_STREAMING_H

#include <string>

#include "dataset/class_registry.h"
#include "dataset/component.h"
#include "dataset/filer.h"

namespace dataset {

// Creates the root component the description names, owned by `owner`
// (may be null: the caller then owns it), and reads the description into it.
TComponent* ReadComponentFromText(const std::string& text, TComponent* owner);

// Reads a description into an existing root (a form reading its own
// description in its constructor). The description's class must be the
// root's registered class or one it derives from.
void ReadRootFromText(const std::string& text, TComponent* root);

// Writes `root`, its properties and the components GetChildren lists, as a
// description.
std::string WriteComponentToText(TComponent* root);

// Registers the framework's own classes (TComponent, TStrings, TStringList,
// TCollection, TParam, TParams, ...). Lookups call it themselves; calling it
// again does nothing.
void RegisterFrameworkClasses();

}  // namespace dataset

#endif  // DATASET_STREAMING_H
