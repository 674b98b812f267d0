#include "TSoundPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

TSoundPlayer::TSoundPlayer(QObject *parent)
    : QObject(parent)
{
    // A sound effect claims to play even where there is no device, so look first.
    if (QMediaDevices::audioOutputs().isEmpty())
        return;
    m_effect = new QSoundEffect(this);
    m_effect->setSource(QUrl(QStringLiteral("qrc:/sounds/done.wav")));
}

void TSoundPlayer::PlayDoneSound()
{
    Play(1);
}

void TSoundPlayer::PlayEndSound()
{
    Play(5);
}

void TSoundPlayer::Play(int times)
{
    if (!m_effect)
        return;
    m_effect->setLoopCount(times);
    m_effect->play();
}
