#include "Manual.h"

#include "KeyShortcuts.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString s(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The keys to press, as this platform writes them in its menus ("Ctrl+Shift+T").
QString keys(const QKeySequence& sequence) {
    return KeyShortcuts::nativeText(sequence);
}

// The modifier of a one-key shortcut as this platform names it: what its native text holds before
// the key ("Ctrl" of "Ctrl++").
QString modifier(const QKeySequence& sequence) {
    const QString all = keys(sequence);
    const QString key = keys(QKeySequence(QKeyCombination(sequence[0].key())));
    QString before = all.endsWith(key) ? all.chopped(key.size()) : all;
    if (before.size() > 1 && before.endsWith(QLatin1Char('+'))) before.chop(1);
    return before;
}

// Where the desktop looks for programs to start at login, with ~ for the home folder.
QString autostartFolder() {
    QString folder = QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                                     QStringLiteral("/autostart"));
    const QString home = QDir::cleanPath(QDir::homePath());
    if (folder == home || folder.startsWith(home + QLatin1Char('/')))
        folder = QLatin1Char('~') + folder.mid(home.size());
    return folder;
}

// The manual as written, in English and never translated. Only the keys to press and the autostart
// folder are filled in here, so each reads as this platform has them.
QList<HelpChapter> build() {
    const QString autostart = autostartFolder();
    // clang-format off
    return {
        {s("quickStart"), s("Quick start"), s("bolt.fill"),
         {
             {s("Your first channel in 2 minutes"),
              {
                  s("Click Setup (the slider button in the top panel) and type your call sign, the name others see when you talk, like \"Bronco 1\" or \"Ranger 2\"."),
                  s("Click New / Join (on iPhone: Join), type a channel name such as \"Westover Crew\" and a passphrase of a few words that only your group knows, then click Join / Create channel."),
                  s("On the other computer or phone, do the same with the SAME channel name and the SAME passphrase."),
                  s("Both of you read out the Safety code shown under the channel name. If the codes match, you are on the same private channel."),
                  s("Hold the big Push to Talk button (on a computer you can also hold the space bar), talk, and let go. They hear you, with a roger beep at the end."),
              },
              true,
              s("Same channel name + same passphrase = same channel, on every device. You can also invite people with a QR code or link (Invite link).")},
             {s("The three lights you'll watch most"),
              {
                  s("RELAY (blue): connected over the internet. You can talk to your channel from anywhere."),
                  s("NEARBY (blue): another device running the app is close by, connected directly with no internet."),
                  s("ON AIR (red): you are transmitting right now."),
              },
              false,
              std::nullopt},
         }},
        {s("channels"), s("Channels"), s("antenna.radiowaves.left.and.right"),
         {
             {s("What a channel is"),
              {
                  s("A channel is a private talk group, like a radio frequency that nobody can tune in to by accident or by scanning."),
                  s("Each channel has its own secret key. Only devices that have that key can hear what's said."),
                  s("The Channel bank on the left lists your channels. The one with the lit light is the one you talk on."),
              },
              false,
              std::nullopt},
             {s("Create or join a channel with a name and passphrase"),
              {
                  s("Click New / Join."),
                  s("Type your call sign in the first field. You can change it any time, there or in Setup."),
                  s("Type the channel name, like Westover Crew. Capitals and extra spaces don't matter."),
                  s("Passphrase: at least 8 characters; a few words is best, like \"tin hollow maple lane\". Every character matters, including capitals. Tick Show to check what you typed."),
                  s("Look at the Safety code that appears, then click Join / Create channel."),
                  s("Do exactly the same on the other devices. If the safety codes match, everyone is on the same encrypted channel."),
              },
              true,
              s("There's no separate create and join: whoever types it first creates it. The passphrase is never saved or sent. Only the key made from it is kept on this device.")},
             {s("How the key is made"),
              {
                  s("The app turns the channel name + passphrase into a 256-bit key with PBKDF2-HMAC-SHA256 (210,000 rounds). The channel name is the salt."),
                  s("The same name and passphrase give the same key on every device. A different passphrase, or a name that differs in more than capitals and spacing, gives a completely different key."),
                  s("A longer passphrase is harder to guess. Don't use one that you use anywhere else."),
              },
              false,
              std::nullopt},
             {s("Switch channels"),
              {
                  s("Click a channel in the Channel bank. Its light comes on: that is the channel you talk on."),
                  s("With Scan all on, you still hear every channel you're in, and the screen shows which channel each voice came from. Turn Scan all off to hear only the selected channel."),
              },
              false,
              std::nullopt},
             {s("Edit, change the passphrase, or leave"),
              {
                  s("Select the channel and click Edit, or right-click it in the bank and choose \"Edit channel / passphrase…\"."),
                  s("Change the label: type the new label and leave the passphrase empty. For a passphrase channel, only capitals and spacing can change this way, because the name is part of the key."),
                  s("To change the name or the key, type the name and a new passphrase, check the New safety code, then click Save. Do the same on every other device."),
                  s("An old channel with a random key, or one joined from an invite, becomes a name + passphrase channel: click Edit, type a passphrase and click Save. On the other devices, join with the same name + passphrase."),
                  s("Leave / delete this channel… removes it and its key from this device. Join again any time with the name + passphrase or an invite."),
              },
              false,
              std::nullopt},
         }},
        {s("invite"), s("Inviting people"), s("qrcode"),
         {
             {s("Invite with the QR code (best)"),
              {
                  s("Select the channel and click Invite link. Its QR code appears."),
                  s("On a phone, the other person opens Tessrook, taps Join, then Scan QR code. On a computer, send them the link instead (see Invite with a link)."),
                  s("They point the camera at the code on your screen. As soon as it beeps, they're in."),
              },
              true,
              s("Doing this in person is the safest way: the key never travels over the internet.")},
             {s("Invite with a link"),
              {
                  s("Click Invite, then Copy invite link."),
                  s("Send it to them in a private message, never in a public post."),
                  s("When they tap the link, Tessrook opens and joins the channel. Or they can open Join and paste it."),
              },
              true,
              std::nullopt},
             {s("Important"),
              {
                  s("Anyone who has the invite can listen to that channel. Treat it like a house key."),
                  s("Never post an invite where others can see it, such as group chats, forums or social media."),
                  s("If an invite got out, make a new key (see Removing someone)."),
              },
              false,
              std::nullopt},
         }},
        {s("join"), s("Joining a channel"), s("person.badge.plus"),
         {
             {s("Join from an invite"),
              {
                  s("Click New / Join in the Channel bank (on a phone: tap Join)."),
                  s("Paste the link that starts with qmtalk://, then click Join."),
                  s("Compare the Safety code with the person who invited you."),
              },
              true,
              std::nullopt},
             {s("If it says the invite didn't work"),
              {
                  s("Make sure you copied the whole link, starting with qmtalk://."),
                  s("The channel may have been given a new key. Ask for a fresh invite."),
              },
              false,
              std::nullopt},
         }},
        {s("safety"), s("Safety codes"), s("checkmark.shield.fill"),
         {
             {s("What the code is for"),
              {
                  s("Every channel has a code like RIVER-0805-UNION, shown on the display and in Invite."),
                  s("Everyone with the right key sees the exact same code. If someone tampered with an invite, their code would be different."),
                  s("When someone new joins, read the code to each other, in person or over the phone."),
              },
              false,
              std::nullopt},
         }},
        {s("talking"), s("Talking"), s("mic.fill"),
         {
             {s("Push to talk"),
              {
                  s("Hold the big button (computer: or hold the space bar). You hear a short chirp: you're on air and the button glows red."),
                  s("Talk normally. Your voice goes out live as you speak, just like a radio."),
                  s("Let go to finish. Others hear a roger beep."),
              },
              true,
              std::nullopt},
             {s("Radio etiquette that helps"),
              {
                  s("After you press, wait half a second before you talk, so your first word isn't cut off."),
                  s("Only one person talks at a time on a channel. If someone else is talking you hear a low busy tone. Wait for their roger beep."),
                  s("A single transmission stops after 60 seconds, like a real radio. Press again to keep going."),
                  s("Saying \"over\" is optional: the roger beep does the same job."),
              },
              false,
              std::nullopt},
             {s("The switches"),
              {
                  s("Radio FX: makes incoming voices sound like a two-way radio. Off gives clean, full sound."),
                  s("Roger beep: the two-tone beep at the end of every transmission."),
                  s("Scrambler: disguises YOUR voice before it's encrypted, so people on the channel hear you clearly but can't tell who's talking. Choose the voice (Deep, High, Robot, Alien or Shadow) in Setup. It changes only what you send, never what you hear."),
                  s("Scan all: listen to all your channels at once."),
                  s("Relay and Nearby: turn the two connection methods on or off."),
              },
              false,
              std::nullopt},
         }},
        {s("connections"), s("Internet and nearby mode"), s("wifi"),
         {
             {s("Three ways to connect, used together"),
              {
                  s("LAN (home network, computer): every computer on the same Wi-Fi or router finds the others by itself. No server, no address to type. This is the easiest way for two computers at home. The LAN light comes on when another unit is heard."),
                  s("RELAY (internet): works anywhere with an internet connection, at any distance, when every device uses the same relay (see The relay server)."),
                  s("NEARBY (no internet): devices on the same local network connect to each other directly, with no server and no internet. It doesn't use Bluetooth."),
                  s("With both on, the app uses whatever works and plays each message once."),
              },
              false,
              std::nullopt},
             {s("Permissions to allow"),
              {
                  s("Microphone, for talking: there are no permission prompts on this computer. Tessrook uses the microphone chosen as the input in your sound settings."),
                  s("Home network (LAN): if a firewall is on, it must let in UDP port 48787, or units on your network can't hear you."),
                  s("Nearby: if a firewall is on, it must also let in UDP port 48788 and TCP connections from your local network."),
                  s("Location, only inside an SOS: your position goes with the SOS when a location service is running on this computer. Without one, the SOS is sent without a position."),
              },
              false,
              std::nullopt},
         }},
        {s("relay"), s("The relay server"), s("server.rack"),
         {
             {s("What it does"),
              {
                  s("The relay passes locked packets between devices over the internet. It cannot unlock, hear or save anything. It only sees a scrambled channel fingerprint so it knows who to pass packets to."),
                  s("On this computer the relay's address is ws://localhost:8787, the address Setup starts with. Other devices on the same network type ws:// followed by this computer's IP address and :8787, like ws://192.168.12.150:8787."),
                  s("To use it anywhere, run the relay on a server on the internet, behind a web server that gives it a secure wss:// address, and type that address in Setup on every device."),
              },
              false,
              std::nullopt},
             {s("Start the relay on this computer"),
              {
                  s("The relay is a separate program that comes with Tessrook. Open a terminal and start it with: tessrook-relay --listen 0.0.0.0:8787 (without --listen it serves this computer only)."),
                  s("Leave it running while you use the relay. It shows \"tessrook-relay listening on ws://0.0.0.0:8787\" when it is ready; closing the terminal stops it."),
              },
              true,
              std::nullopt},
         }},
        {s("sos"), s("SOS"), s("sos"),
         {
             {s("Send an SOS"),
              {
                  s("Lift the red safety cover (click or tap it)."),
                  s("Press and hold the SOS button for 2 seconds. A white ring fills up. Let go early to cancel."),
                  s("Your SOS goes to every channel you're in: your call sign, your position and its accuracy (when this computer knows them), your battery level, whether it is silent or automatic, and the time, plus 15 seconds of sound from your microphone. It goes out again every 30 seconds until you cancel it."),
              },
              true,
              std::nullopt},
             {s("While your SOS is active"),
              {
                  s("Your location updates every 30 seconds, so others see a trail on their map."),
                  s("When someone taps I'm coming, you see their name."),
                  s("When you're safe, open the SOS panel and choose I'm safe: cancel SOS. Everyone is told you're OK."),
              },
              false,
              std::nullopt},
             {s("Silent SOS"),
              {
                  s("Flip the Silent switch before lifting the cover, or use Silent SOS in the SOS panel."),
                  s("No chirp or sound on your device. Everyone else still gets the full alert."),
              },
              false,
              std::nullopt},
             {s("Receiving an SOS"),
              {
                  s("An alarm sounds and the SOS panel opens with a map of their location."),
                  s("Tap I'm coming so they know help is on the way. Tap Directions for a route."),
                  s("The alarm stops when you respond or dismiss the alert."),
              },
              false,
              std::nullopt},
             {s("Important"),
              {
                  s("Tessrook alerts your own people. It does not contact 911 or emergency services. On iPhone, the SOS panel has a Call 911 button."),
                  s("On a phone set to silent, the alarm may not sound while the app is closed. On a computer, the alarm sounds as long as Tessrook is running, even with its window closed."),
              },
              false,
              std::nullopt},
         }},
        {s("checkIn"), s("Check-in timer"), s("timer"),
         {
             {s("A safety net for risky trips"),
              {
                  s("Open the SOS panel and pick a time: 15 minutes, 30 minutes, 1 hour or 2 hours."),
                  s("The countdown shows on the display."),
                  s("Tap I'm OK before it runs out to clear it."),
                  s("If you don't, your SOS is sent automatically, marked \"missed check-in\"."),
              },
              true,
              s("Use it for late drives, hikes or meeting someone you don't know.")},
         }},
        {s("removing"), s("Removing someone"), s("person.badge.minus"),
         {
             {s("Make a new key"),
              {
                  s("Select the channel and click Invite."),
                  s("Click Make a new key and confirm."),
                  s("Everyone is locked out, including the person you're removing."),
                  s("Invite the people you want to keep again, with the new QR code or link."),
              },
              true,
              s("Do this if someone leaves the group, loses their phone, or an invite was shared by mistake.")},
         }},
        {s("privacy"), s("Privacy and encryption"), s("lock.fill"),
         {
             {s("In plain English"),
              {
                  s("Your voice is locked on your device before it leaves, with 256-bit encryption (ChaCha20-Poly1305). Only devices with the channel key can unlock it."),
                  s("The relay server and anyone watching the internet see only scrambled data."),
                  s("Each packet is also sealed against tampering. A changed packet is thrown away."),
                  s("Nothing is recorded. The transmission log shows only who talked and when, and it's cleared when you quit."),
                  s("Channel keys are kept only on this device, in channels.json in the app's data folder, which only your user account can read. The app never sends them anywhere; only an invite you share carries a key."),
                  s("Turn on Require my password to open in Setup so nobody can open the app on your unlocked device."),
              },
              false,
              std::nullopt},
             {s("What it can't hide"),
              {
                  s("The relay can see that a device sent something at a certain time, but not what or who."),
                  s("Someone holding your unlocked phone with the app open can listen. Use the lock setting."),
              },
              false,
              std::nullopt},
         }},
        {s("trouble"), s("Troubleshooting"), s("wrench.and.screwdriver.fill"),
         {
             {s("Run the Connection Self-Test first"),
              {
                  s("Help menu › Connection Self-Test… (") + keys(KeyShortcuts::selfTest()) + s("). It checks the channel key, microphone, LAN, Nearby, relay and the firewall, and says in plain words what to fix."),
                  s("Click Radio check. Every unit on the channel answers by itself with an encrypted reply, so you can test two computers without talking."),
                  s("Help menu › Show Debug Log opens a log of every connection event (no keys, no audio)."),
              },
              false,
              std::nullopt},
             {s("\"Unknown channel / key mismatch\""),
              {
                  s("The other computer IS reachable on your network, but it's using a different key, so nothing can be decrypted."),
                  s("Compare the safety codes. If they differ, select the channel on both computers, click Edit, type the SAME channel name and passphrase on both, and click Save."),
                  s("Old channels made before October 2026 with Create had random keys, so two computers could never match by name. Switch them to a passphrase with Edit."),
              },
              false,
              std::nullopt},
             {s("Both computers on the same Wi-Fi but nothing is heard"),
              {
                  s("Look at the status under the Channel bank. It says what's wrong: no unit heard, key mismatch, or the firewall blocking the app."),
                  s("Some routers keep Wi-Fi devices from reaching each other (client isolation). Then type the other computer's IP address in Setup › Home network, on both computers."),
                  s("Both computers must be on the same network: not one on a guest network and the other on the main one."),
                  s("When the self-test says Local network is BLOCKED, allow UDP port 48787 in the firewall, then quit and reopen the app."),
              },
              false,
              std::nullopt},
             {s("What to allow on this computer"),
              {
                  s("Microphone: nothing asks for it here. Choose your microphone as the input in your desktop's sound settings, now or whenever it changes."),
                  s("Finding other units on the local network (LAN and Nearby links): if a firewall is on, allow UDP ports 48787 and 48788 in it. The firewall line of the Connection Self-Test gives the command for 48787; do the same for 48788."),
                  s("Incoming connections: the Nearby link also accepts TCP connections from other units. If your firewall blocks incoming connections, allow them from your local network."),
              },
              false,
              std::nullopt},
             {s("They can't hear me"),
              {
                  s("Check that you're both on the same channel and that your Safety codes match."),
                  s("Look at the lights: you need LAN lit (same home network), RELAY lit on both devices, or NEARBY lit when you're close together."),
                  s("Check the microphone: choose it as the input in your desktop's sound settings. The Connection Self-Test says whether Tessrook could open it."),
                  s("Ask the listener to turn their volume up and to check that Mute Incoming is off."),
              },
              false,
              std::nullopt},
             {s("The RELAY light won't come on"),
              {
                  s("Open Setup and check the relay address. It must start with ws:// or wss://."),
                  s("With the address ws://localhost:8787, the relay program must be running on this computer (see The relay server)."),
                  s("For a relay on another computer or server, check your internet connection."),
              },
              false,
              std::nullopt},
             {s("NEARBY won't connect"),
              {
                  s("Both devices must be on the same local network (Wi-Fi or Ethernet). Nearby doesn't use Bluetooth or the internet."),
                  s("If a firewall is on, allow UDP port 48788 and TCP connections from your local network."),
                  s("Keep Tessrook open on both devices for a few seconds: units look for each other every 2 seconds."),
              },
              false,
              std::nullopt},
             {s("Busy tone when I press talk"),
              {
                  s("Someone else is talking on that channel. Wait for their roger beep."),
              },
              false,
              std::nullopt},
         }},
        {s("controls"), s("Every control"), s("slider.horizontal.3"),
         {
             {s("Top panel"),
              {
                  s("Lights: RELAY, NEARBY, ENCRYPTED (always on), ON AIR, SOS."),
                  s("Theme menu: Gunmetal Blue, Anodized Red, Rose Gold, Lavender Violet, Black Chrome, Graphite Gray. This changes the look only. See Themes & zoom."),
                  s("Setup: call sign, relay address, connections, sound and privacy."),
                  s("Help: this manual."),
              },
              false,
              std::nullopt},
             {s("Display"),
              {
                  s("CH: the current channel. STANDBY, TX (transmitting) with a timer, or RX with who's talking."),
                  s("Level bars: your mic level while transmitting."),
                  s("SAFETY: the channel's safety code."),
                  s("NET / NEAR / ON CH: connection status and how many devices are on the channel."),
              },
              false,
              std::nullopt},
             {s("Emergency panel"),
              {
                  s("Red cover and SOS button, the Silent switch, the alerts readout, Open SOS panel, and I'm OK while a check-in timer runs."),
              },
              false,
              std::nullopt},
         }},
        {s("look"), s("Themes & zoom"), s("paintpalette.fill"),
         {
             {s("Change the theme"),
              {
                  s("Click the theme menu in the top panel (next to Setup), or choose Theme in the menu bar."),
                  s("Pick one of the six themes: Gunmetal Blue, Anodized Red, Rose Gold, Lavender Violet, Black Chrome (black) or Graphite Gray (gray)."),
                  s("The whole unit (metal, display and lights) changes at once, and the app remembers your choice."),
              },
              true,
              s("Themes change the look only. Your channels, keys and connections stay exactly the same. If you used an older finish, the app picked the closest theme for you: Gunmetal became Graphite Gray, Carbon and Black Ops became Black Chrome, Crimson became Anodized Red.")},
             {s("Make everything bigger or smaller (zoom)"),
              {
                  s("Zoom In: View > Zoom In, or press ") + modifier(KeyShortcuts::zoomIn()) + s(" and + (plus)."),
                  s("Zoom Out: View > Zoom Out, or press ") + modifier(KeyShortcuts::zoomOut()) + s(" and - (minus)."),
                  s("Back to normal: View > Actual Size (100%), or press ") + modifier(KeyShortcuts::actualSize()) + s(" and 0 (zero)."),
                  s("Jump to a size: View > Zoom Level, then pick 85%, 100%, 115%, 130%, 150%, 175% or 200%."),
              },
              false,
              s("Zoom goes from 85% to 200% and the app remembers it the next time you open it. When the window is too small for the zoomed unit, scroll bars appear so you can still reach every control.")},
         }},
        {s("miniMode"), s("Mini mode & open at login"), s("rectangle.portrait.on.rectangle.portrait"),
         {
             {s("Keep the radio on all day (computer)"),
              {
                  s("Closing the big window does NOT turn the radio off. Tessrook keeps listening: you still hear calls and get messages and SOS alarms."),
                  s("The antenna icon in the system tray keeps the radio within reach: click it for Show Main Window, Mini Mode, Mute Incoming and Quit."),
                  s("To really turn it off, choose Quit: press ") + keys(KeyShortcuts::quit()) + s(", or Quit in the tray icon, or the power button on the Mini panel. Then nobody can reach you until you open it again."),
              },
              false,
              s("Mute Incoming silences voices only. SOS alarms always sound. Mute turns itself off the next time the app opens, so nobody misses a call by accident.")},
             {s("Mini mode: a small talk panel that stays on top"),
              {
                  s("Click Mini in the top panel, or press ") + keys(KeyShortcuts::miniMode()) + s(", or choose Mini Mode in the tray icon."),
                  s("The big window goes away and a small round panel floats above your other windows. Drag it by its metal face to wherever you like. It remembers where you left it."),
                  s("The screen shows your channel, how many people are online and the LAN / Relay / Nearby lights."),
                  s("Hold the round Push to Talk button (or hold the space bar while the panel is in front) and talk. Let go to finish. It's exactly the same as the big talk button."),
                  s("When someone talks, the light turns on and shows who it is. Their voice plays even while you're in Mini mode or the big window is closed."),
                  s("The box under it shows the last text message. Type in Quick message and press Return (or the paper plane) to send a text to everyone on the channel."),
                  s("The arrows button goes back to the full window. The minus button hides the Mini panel (the app keeps listening). The power button quits."),
              },
              true,
              s("Mini mode uses your chosen theme. To switch channels, invite people or use SOS, open the full window.")},
             {s("Open it automatically when the computer starts"),
              {
                  s("Click Setup and find Open at login & Mini mode."),
                  s("Turn on \"Open QMRL Tessrook when I log in\". It stays off until you turn it on."),
                  s("If it says it needs your approval, click \"Open the autostart folder…\" (or open your desktop's startup applications, ") + autostart + s(") and switch QMRL Tessrook back on there."),
                  s("Leave \"When it opens at login, start in Mini mode\" on to get just the small panel after you log in, or turn it off to get the full window."),
              },
              true,
              s("To stop it opening at login, turn the switch off in Setup, or remove it in your desktop's startup applications (") + autostart + s("). It works best when the app stays where it was when you turned this on.")},
         }},
    };
    // clang-format on
}

} // namespace

const QList<HelpChapter>& Manual::chapters() {
    static const QList<HelpChapter> table = build();
    return table;
}

const HelpChapter& Manual::chapter(HelpTopic topic) {
    const QList<HelpChapter>& all = chapters();
    const QString id = Help::rawValue(topic);
    for (const HelpChapter& c : all)
        if (c.id == id) return c;
    Q_ASSERT_X(false, "Manual::chapter", "a topic without a chapter");
    return all.first();
}

QList<HelpChapter> Manual::search(const QString& text) {
    const QList<HelpChapter>& all = chapters();
    if (text.isEmpty()) return all;
    const QString query = text.toLower();
    const auto found = [&](const HelpChapter& c) {
        if (c.title.toLower().contains(query)) return true;
        for (const HelpSection& section : c.sections) {
            if (section.heading.toLower().contains(query)) return true;
            for (const QString& step : section.steps)
                if (step.toLower().contains(query)) return true;
        }
        return false;
    };
    QList<HelpChapter> out;
    for (const HelpChapter& c : all)
        if (found(c)) out.append(c);
    return out;
}
