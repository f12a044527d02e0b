// SPDX-License-Identifier: GPL-3.0-or-later
// Text put into the small XML side files we write ourselves (styles, GDAL's service and
// side files); KML has its own streaming writer.
#pragma once

#include <string>
#include <string_view>

namespace varistrum {

// Text for an XML attribute value or element: &, <, >, " and ' as entities.
std::string XmlEscaped(std::string_view text);

}  // namespace varistrum
