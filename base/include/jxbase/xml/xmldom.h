// The XML document wrappers in one include.
#pragma once

#include "jxbase/xml/document.h"
#include "jxbase/xml/element.h"
#include "jxbase/xml/named_node_map.h"
#include "jxbase/xml/node.h"
#include "jxbase/xml/parse_error.h"
#include "jxbase/xml/writer.h"
