// The class this library serves through its four exports.
#include "ComponentServer.h"
#include "Pelomir.h"
#include "Pelomir_TypeLib.h"

namespace {

QWidget* CreatePelomir(QWidget* form, const QVariantMap& bag) {
    auto* control = new Pelomir(form);
    control->ReadProperties(bag);
    return control;
}

}  // namespace

const ComponentClass& ServedComponent() {
    static const ComponentClass served{Pelomir_TypeLib::ProgID, Pelomir_TypeLib::ClassID,
                                       &CreatePelomir};
    return served;
}
