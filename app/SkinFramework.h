#pragma once

#include <QString>
#include <QVariant>
#include <QVariantList>

// The window skin engine. It is driven by dispatch identifier, like the engine it takes
// the place of; a skin file is a Qt style sheet.
class SkinFramework
{
public:
    enum DispatchId {
        ApplyOptions = 1,      // integer property; bit 0 applies the skin's colours
        LoadSkin = 2,          // method (skin path, ini section)
        ApplyWindow = 3,       // method (window handle)
        ApplyToNewWindows = 5, // boolean property
        ApplyToDialogs = 10,   // boolean property
    };

    QVariant invoke(int dispatchId, const QVariantList& arguments);
    QVariant property(int dispatchId) const;
    void setProperty(int dispatchId, const QVariant& value);

    const QString& styleSheet() const { return m_styleSheet; }

private:
    QString m_styleSheet;
    qint32 m_applyOptions = 0;
    bool m_applyToNewWindows = false;
    bool m_applyToDialogs = false;
};
