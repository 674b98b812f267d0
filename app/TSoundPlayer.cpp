#include "app/TSoundPlayer.h"

#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

TSoundPlayer::TSoundPlayer(QObject *parent) : QObject(parent) {}

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
    if (!FEffect) {
        if (FNoDevice || QMediaDevices::audioOutputs().isEmpty()) {
            FNoDevice = true;
            return;
        }
        FEffect = new QSoundEffect(this);
        FEffect->setSource(QUrl(QStringLiteral("qrc:/sounds/done.wav")));
    }
    FEffect->setLoopCount(times);
    FEffect->play();
}
