#ifndef FORMINDEX_H
#define FORMINDEX_H

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>

// The form's objects by name, gathered once after the form is set up. findChild walks
// every object of the window (well over a thousand) on each call; the parameter rows,
// the definitions and every parameter reply look widgets up by name.
class FormIndex {
public:
    void build(QObject* root)
    {
        this->root = root;
        byName.clear();
        const QList<QObject*> all = root->findChildren<QObject*>();
        byName.reserve(all.size());
        for (QObject* o : all) {
            const QString name = o->objectName();
            if (name.isEmpty()) continue;
            auto it = byName.find(name);
            if (it == byName.end())
                byName.insert(name, o);
            else
                it.value() = nullptr;   // shared: only the full search knows which comes first
        }
    }

    // As root->findChild<T*>(name) for the form's own objects, whose names are unique and
    // fixed. A name two objects shared at build, and one whose object has since been renamed
    // or deleted, fall back to the full search; so does a name nothing held at build.
    template <class T>
    T* find(const QString& name) const
    {
        const QObject* hit = byName.value(name);
        if (hit && hit->objectName() == name)
            if (T* t = qobject_cast<T*>(const_cast<QObject*>(hit))) return t;
        return root ? root->findChild<T*>(name) : nullptr;
    }

private:
    QPointer<QObject> root;
    QHash<QString, QPointer<QObject>> byName;
};

#endif   // FORMINDEX_H
