// The class this library serves through its four exports.
#include "ComponentServer.h"
#include "Dunvorel.h"
#include "Dunvorel_TypeLib.h"

namespace {

QWidget* CreateDunvorel(QWidget* form, const QVariantMap& bag) {
    auto* control = new Dunvorel(form);
    control->ReadProperties(bag);
    return control;
}

}  // namespace

const ComponentClass& ServedComponent() {
    static const ComponentClass served{Dunvorel_TypeLib::ProgID, Dunvorel_TypeLib::ClassID,
                                       &CreateDunvorel};
    return served;
}
