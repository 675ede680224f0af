#include "viewer/PictureAccessibility.h"

#include "common/Localization.h"
#include "speech/SpokenPhrases.h"
#include "ui/LineOverlayView.h"
#include "video/ColourMode.h"
#include "viewer/model/ViewerModel.h"

#include <QAccessible>
#include <QWidget>

namespace kelvo::viewer {
namespace {

QString guideWords(int mode)
{
    if (mode == 2)
        return localized("window");
    if (mode == 1)
        return localized("lines");
    return localized("none");
}

QString orientationWords(int orientation)
{
    const QString name = speech::orientationName(orientation);
    return orientation == 3 || orientation == 4 ? localized("turned to %1").arg(name) : name;
}

} // namespace

QString describePicture(const PictureState &state)
{
    QStringList parts;
    parts << localized("Zoom level %1").arg(state.zoomLevel);
    if (!state.colourMode.isEmpty())
        parts << localized("colour mode %1").arg(state.colourMode);
    parts << (state.frozen ? localized("frozen") : localized("live"));
    parts << localized("horizontal guides %1").arg(guideWords(state.horizontalGuides));
    parts << localized("vertical guides %1").arg(guideWords(state.verticalGuides));
    QString turn = orientationWords(state.orientation);
    if (state.mirrored)
        turn = localized("%1, mirrored").arg(turn);
    parts << turn;
    return parts.join(QStringLiteral(", ")) + QLatin1Char('.');
}

PictureAccessibility::PictureAccessibility(QWidget *picture, ViewerModel &model, ui::LineOverlayView *guides,
                                           QObject *parent)
    : QObject(parent), m_picture(picture), m_model(model), m_guides(guides)
{
    // The picture is where the keys act; resting the focus there lets the
    // screen reader say what it shows.
    picture->setFocusPolicy(Qt::StrongFocus);
    if (picture->accessibleName().isEmpty())
        picture->setAccessibleName(localized("Camera picture"));
    auto update = [this] { refresh(); };
    connect(&model, &ViewerModel::zoomLevelChanged, this, update);
    connect(&model, &ViewerModel::frozenChanged, this, update);
    connect(&model, &ViewerModel::colourModeChanged, this, update);
    connect(&model, &ViewerModel::orientationChanged, this, update);
    connect(&model, &ViewerModel::mirroredChanged, this, update);
    refresh();
}

PictureState PictureAccessibility::state() const
{
    PictureState state;
    state.zoomLevel = m_model.zoomLevel();
    state.frozen = m_model.isFrozen();
    state.orientation = m_model.videoOrientation();
    state.mirrored = m_model.isMirrored();
    const video::ColourModeSelection &colour = m_model.colourSelection();
    std::int64_t mode = colour.chosenNonPreferredColorMode;
    if (colour.chosenPreferredColorMode != -1) {
        const auto index = colour.chosenPreferredColorMode;
        mode = index >= 0 && index < static_cast<std::int64_t>(colour.preferredFilters.size())
                   ? colour.preferredFilters[static_cast<size_t>(index)]
                   : -1;
    }
    const QStringList names = video::colorModeNames();
    if (mode >= 0 && mode < names.size())
        state.colourMode = names[static_cast<int>(mode)];
    if (m_guides) {
        state.horizontalGuides = m_guides->horizontalReadingGuideMode();
        state.verticalGuides = m_guides->verticalReadingGuideMode();
    }
    return state;
}

void PictureAccessibility::refresh()
{
    if (!m_picture)
        return;
    const QString description = describePicture(state());
    if (m_picture->accessibleDescription() == description)
        return;
    m_picture->setAccessibleDescription(description);
    // The screen reader reads the description again only when told.
    QAccessibleEvent changed(m_picture.data(), QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&changed);
}

} // namespace kelvo::viewer
