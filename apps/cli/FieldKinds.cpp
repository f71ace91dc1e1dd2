#include "FieldKinds.h"

#include "localization/Text.h"
#include "platform/Format.h"
#include "platform/Unicode.h"
#include "platform/pdf/Document.h"

std::string QVWidgetKindName(QVWidgetKind kind) {
    switch (kind) {
    case QVWidgetKind::Text: return QVText("tekstveld");
    case QVWidgetKind::CheckBox: return QVText("selectievakje");
    case QVWidgetKind::RadioButton: return QVText("keuzerondje");
    case QVWidgetKind::ComboBox: return QVText("vervolgkeuzelijst");
    case QVWidgetKind::ListBox: return QVText("keuzelijst");
    case QVWidgetKind::PushButton: return QVText("knop");
    case QVWidgetKind::Signature: return QVText("handtekeningveld");
    case QVWidgetKind::Unknown: break;
    }
    return QVText("onbekend soort veld");
}

namespace {

std::string useReason(QVWidgetUse use) {
    switch (use) {
    case QVWidgetUse::Fillable: return QVText("ja");
    case QVWidgetUse::Unnamed: return QVText("nee (naamloos)");
    case QVWidgetUse::ReadOnly: return QVText("nee (alleen-lezen)");
    case QVWidgetUse::Password: return QVText("nee (wachtwoordveld)");
    case QVWidgetUse::PushButton: return QVText("nee (knop)");
    case QVWidgetUse::Signature: return QVText("nee (handtekening)");
    case QVWidgetUse::UnknownKind: break;
    }
    return QVText("nee (onbekend soort veld)");
}

std::string flagNames(int flags) {
    std::string out;
    auto add = [&out, flags](int bit, const std::string& name) {
        if (!(flags & bit)) return;
        if (!out.empty()) out += ", ";
        out += name;
    };
    add(qvpdf::PDFFieldFlagReadOnly, QVText("alleen-lezen"));
    add(qvpdf::PDFFieldFlagRequired, QVText("verplicht"));
    add(qvpdf::PDFFieldFlagMultiline, QVText("meerregelig"));
    add(qvpdf::PDFFieldFlagComb, QVText("vakjes"));
    add(qvpdf::PDFFieldFlagPassword, QVText("wachtwoord"));
    return out.empty() ? std::string("-") : out;
}

std::string alignmentName(int alignment) {
    if (alignment == 1) return QVText("midden");
    if (alignment == 2) return QVText("rechts");
    return QVText("links");
}

}  // namespace

// The other bits mean other things outside text fields.
constexpr int kNonTextFlags = qvpdf::PDFFieldFlagReadOnly | qvpdf::PDFFieldFlagRequired;

std::string QVWidgetDetailLine(const QVWidgetDescription& widget) {
    std::string choices;
    for (const std::string& choice : widget.choices) {
        if (!choices.empty()) choices += ", ";
        choices += choice;
    }
    const std::string name = widget.name.empty() ? std::string("-") : widget.name;
    std::string maximum = widget.maximumLength > 0 ? std::to_string(widget.maximumLength) : std::string("-");
    return QVEscapeForTerminal(QVFormat(
        QVText("pagina %lu | %@ | %@ | vlaggen: %@ | max. lengte: %@ | uitlijning: %@ | keuzes: %@ | ingevuld: %@"),
        {static_cast<unsigned long>(widget.page), QVWidgetKindName(widget.kind), name,
         flagNames(widget.kind == QVWidgetKind::Text ? widget.flags : widget.flags & kNonTextFlags), maximum,
         alignmentName(widget.alignment), choices.empty() ? std::string("-") : choices, useReason(widget.use)}));
}

std::string QVTextRuleHint(std::string_view templateBytes) {
    std::optional<std::vector<QVWidgetDescription>> widgets = QVDescribeWidgets(templateBytes, nullptr);
    if (!widgets) return {};
    std::shared_ptr<qvpdf::PDFDocument> document = qvpdf::PDFDocument::initWithData(templateBytes);
    if (document && document->isEncrypted())
        return QVText(
            "Het PDF-sjabloon is versleuteld, maar opent zonder wachtwoord. Met --all-fields wordt het "
            "toch ingevuld; de uitvoer blijft dan versleuteld.");
    std::optional<QVWidgetDescription> first = QVFirstWidgetRefusedByTextRule(templateBytes);
    if (!first) return {};
    std::string kind = QVWidgetKindName(first->kind);
    if (first->use == QVWidgetUse::ReadOnly) kind = QVFormat(QVText("%@, alleen-lezen"), {kind});
    if (first->use == QVWidgetUse::Password) kind = QVText("wachtwoordveld");
    return QVFormat(
        QVText("Eerste niet-ondersteunde veld: '%@' (%@, pagina %lu). Met --all-fields worden ook "
               "selectievakjes, keuzerondjes en keuzelijsten ingevuld en blijven andere velden zoals ze zijn."),
        {first->name, kind, static_cast<unsigned long>(first->page)});
}
