// An element added with its attributes in one insertion has the text and
// table of AddChildElement and then SetAttributeAt name by name -- also
// when the names send it the step-by-step way, and after further edits.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "xml/xmldoc.h"
#include "xml_check.h"

namespace {

TEST(XmlShapes, OneInsertionMatchesTheSteps) {
  const std::u16string nulValue(u"a\0b", 3);
  struct Case {
    const char16_t *doc, *element, *data;
    std::vector<std::u16string_view> names, values;
  } cases[] = {
      {u"<p/>", u"Field", u"x&y>", {u"Type", u"Name"}, {u"SWTT", u"a<b'\""}},
      {u"<p></p>", u"Tag", nullptr, {u"ID"}, {u"0011"}},
      {u"<p>\r\n<q/>\r\n</p>", u"F", u"v", {u"k", u"k2", u"k3"}, {u"1", u"", u"3"}},
      {u"<p a='1'>t</p>", u"F", u"v", {u"k", u"k"}, {u"1", u"2"}},  // a name twice
      {u"<p/>", u"F", nullptr, {u"a b", u"a"}, {u"1", u"2"}},       // a blank in a name
      {u"<p/>", u"F", u"d", {u"", u"k=", u"x[1"}, {u"1", u"2", u"3"}},
      {u"<p/>", u"x y", nullptr, {u"k"}, {u"1"}},                   // a blank in the element name
      {u"<p/>", u"F", nullptr, {u"k"}, {nulValue}},                 // a value ends at a NUL
  };
  for (const Case &c : cases) {
    XMLDoc steps(c.doc), whole(c.doc);
    ASSERT_TRUE(steps.FindElement() && whole.FindElement() && steps.AddChildElement(c.element, c.data));
    for (size_t i = 0; i < c.names.size(); ++i) {
      const std::u16string name(c.names[i]), value(c.values[i]);
      steps.SetAttributeAt(steps.GetChildPosition(), name.c_str(), value.c_str());
    }
    const XMLDoc::ElementShape shape(c.element, c.names.data(), c.names.size());
    ASSERT_TRUE(whole.AddChildElement(shape, c.data, c.values.data()));
    // Edits after it: a value replaced, an attribute added.
    for (XMLDoc *d : {&steps, &whole}) {
      d->SetAttributeAt(d->GetChildPosition(), u"k", u"new");
      d->SetAttributeAt(d->GetChildPosition(), u"late", u"2");
    }
    EXPECT_EQ(Narrow(whole.GetDoc()), Narrow(steps.GetDoc()));
    EXPECT_TRUE(whole.GetChildPosition() == steps.GetChildPosition() && SameTableAsReparse(whole));
  }
}

}  // namespace
