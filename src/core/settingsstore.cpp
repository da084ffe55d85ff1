#include "core/settingsstore.h"

#include "core/program.h"

namespace qv {

SettingsStore::SettingsStore(Program& program) : p_(program) {}

XMLNodePtr SettingsStore::builtInColumnLayouts() {
    auto lst = XMLNode::Create("lst");
    lst->addXMLString("<ag><clm><i>0</i><w>107</w></clm><clm><i>1</i><w>43</w></clm></ag>");
    lst->addXMLString(
        "<al><clm><i>0</i><w>122</w></clm><clm><i>1</i><w>43</w></clm><clm><i>2</i><w>134</w></clm></al>");
    lst->addXMLString("<sa0><clm><i>0</i><w>99</w></clm><clm><i>1</i><w>131</w></clm></sa0>");
    lst->addXMLString("<sa1><clm><i>0</i><w>99</w></clm><clm><i>1</i><w>131</w></clm></sa1>");
    return lst;
}

}  // namespace qv
