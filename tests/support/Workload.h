#pragma once
// A seeded stream of saves (add, edit, rename and delete people; add, rename and delete groups) run
// against a data file, together with the model of what the file must hold after each save. The
// kill test's child process runs it; the parent reads the file back with the same functions, so
// that both sides describe a state the same way.
//
// Every field of a person is derived from the person's identity and a version number, so a save
// that landed only in part shows up as fields that disagree with each other.
#include "core/store/ContactFields.h"

#include <QString>
#include <QStringList>
#include <map>
#include <random>

class Store;

namespace workload {

struct Person {
    QString name;       // the identity, or the identity followed by "~" and a rename count
    QString groupIdent; // the group's identity
    int version = 0;    // bumped by every edit
};

struct Model {
    std::map<QString, QString> groups; // identity -> name
    std::map<QString, Person> people;  // identity -> person
    // Keys as the file has them; not part of the state compared (a key is fixed by the file).
    std::map<QString, QString> groupKeys;  // identity -> "main" + id
    std::map<QString, QString> personKeys; // identity -> "friend" + id

    QString canonical() const;
    QString digest() const; // SHA-1 of canonical(), in hex
};

// The fields a person with this identity, version and group must have.
ContactFields fieldsOf(const QString& ident, const QString& name, const QString& groupKey, int version);
QString identOf(const QString& name); // the part before "~"

// Reads the file's state into a model; every way in which the file breaks the rules above (a field
// that disagrees with the others, a person whose group is gone, a key that is not "friend" + id)
// goes into problems.
Model read(Store& store, QStringList* problems);

struct Save {
    enum Kind { AddPerson, EditPerson, RenamePerson, DeletePerson, AddGroup, RenameGroup, DeleteGroup };
    Kind kind = AddPerson;
    QString ident;      // the person or the group
    QString name;       // new name (add, rename)
    QString groupIdent; // the person's group (add, edit)
};
const char* kindName(Save::Kind kind);

class Runner {
public:
    Runner(Model model, quint64 seed, QString tag);
    const Model& model() const { return model_; }
    // Chooses the next save and returns the model as it must be once that save is done.
    Save next(Model* after);
    // Carries the save out on the file (throws StoreError) and makes `after` the current model.
    void perform(Store& store, const Save& save, Model after);

private:
    Model model_;
    std::mt19937_64 random_;
    QString tag_;
    int counter_ = 0;
};

} // namespace workload
