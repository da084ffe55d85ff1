#pragma once
// The interface between Quorvane and its plug-ins.
//
// A plug-in component is a Qt plug-in (a shared library built as a CMake
// MODULE without the "lib" prefix) named Quorvane<Something>.so in the
// program's PlugIns/ folder. Its root object (the class with
// Q_PLUGIN_METADATA(IID QUORVANE_PLUGIN_IID)) implements IPlugInFactory; the
// objects the factory creates implement IPlugIn. Every call is one XML text
// in and one XML text out; see README.md beside this folder for the messages.

#include <QObject>
#include <QString>
#include <QtPlugin>

#define QUORVANE_PLUGIN_IID "org.quorvane.IPlugIn/1"
#define QUORVANE_PLUGIN_FACTORY_IID "org.quorvane.IPlugInFactory/1"

namespace quorvane {

// One object that answers requests. The program owns each object it gets from
// the factory and deletes it after the call (objects of running plug-ins:
// when they report themselves inactive or the program ends).
class IPlugIn {
  public:
    virtual ~IPlugIn() = default;
    // The answer to one request; an empty text (or one that is not
    // well-formed XML) counts as failure.
    virtual QString MethodCall(const QString& request) = 0;
};

// The component's root object.
class IPlugInFactory {
  public:
    virtual ~IPlugInFactory() = default;
    // A new object of the class: "PlugIn" for the component's main object, or
    // the name of a settings control (a QWidget that also implements
    // IPlugIn). The caller owns it. nullptr for a class the component lacks.
    virtual QObject* create(const QString& className) = 0;
};

}  // namespace quorvane

Q_DECLARE_INTERFACE(quorvane::IPlugIn, QUORVANE_PLUGIN_IID)
Q_DECLARE_INTERFACE(quorvane::IPlugInFactory, QUORVANE_PLUGIN_FACTORY_IID)
