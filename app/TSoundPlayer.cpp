#include "app/TSoundPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

TSoundPlayer::TSoundPlayer(QObject *parent)
    : QObject(parent)
{
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
    // The audio system is asked only when a sound is due. A sound effect claims to play even where
    // there is no device, so look first.
    if (!m_effect) {
        if (m_noDevice || QMediaDevices::audioOutputs().isEmpty()) {
            m_noDevice = true;
            return;
        }
        m_effect = new QSoundEffect(this);
        m_effect->setSource(QUrl(QStringLiteral("qrc:/sounds/done.wav")));
    }
    m_effect->setLoopCount(times);
    m_effect->play();
}
