// The three browser engines that the page's test and benchmark drive, behind one small interface: Debian's
// Chromium and Firefox through puppeteer-core (DevTools protocol, WebDriver BiDi), and WebKitGTK, the engine
// of Safari, through plain W3C WebDriver: WebKitWebDriver with the MiniBrowser, on an X server of its own.
// A browser: {engine, version, Open(url), Choose(paths), Press(key), Evaluate(fn, ...args), WaitFor(fn, ms,
// ...args), Errors(), Requests(), Cdp(), ChooseByKeyboard(selector, paths), Close()}; every call returns a
// promise. Press takes "Enter", "Tab" or " ", as a person types it into the focused element; ChooseByKeyboard
// (Chromium and Firefox only) presses Enter on a file input and answers the chooser it opens.
import { spawn } from "node:child_process";
import { createServer } from "node:net";

import puppeteer from "puppeteer-core";

export const kEngines = ["chromium", "firefox", "webkit"];

// As a headless Chromium must run on this machine's closed network (see the machine's notes).
const kChromiumArgs = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
                       "--disable-background-networking", "--disable-component-update", "--disable-sync"];
const kMiniBrowser = "/usr/lib/x86_64-linux-gnu/webkit2gtk-4.1/MiniBrowser";

const Sleep = (ms) => new Promise((done) => setTimeout(done, ms));

async function Puppeteer(engine, chromiumArgs) {
  const browser = await puppeteer.launch({
    browser: engine === "firefox" ? "firefox" : "chrome",
    executablePath: engine === "firefox" ? "/usr/bin/firefox-esr" : "/usr/bin/chromium",
    headless: true,
    args: engine === "chromium" ? [...kChromiumArgs, ...chromiumArgs] : [],
    // A user's Firefox keeps each file:// page an origin of its own; puppeteer's profile turns that off.
    extraPrefsFirefox: { "security.fileuri.strict_origin_policy": true },
  });
  const tab = await browser.newPage();
  const errors = [], requests = [];
  tab.on("pageerror", (error) => errors.push(String(error)));
  tab.on("console", (message) => message.type() === "error" && errors.push(message.text()));
  tab.on("request", (request) => requests.push(request.url()));
  return {
    engine,
    version: await browser.version(),
    Open: (url) => tab.goto(url),
    Choose: async (paths) => (await tab.$("input[type=file]")).uploadFile(...paths),
    Press: (key) => tab.keyboard.press(key),
    // Enter is pressed again, as a person would, when no chooser opens: seen once on a loaded machine.
    ChooseByKeyboard: async (selector, paths) => {
      for (let tries = 1; ; ++tries) {
        await tab.focus(selector);
        try {
          const [chooser] = await Promise.all([tab.waitForFileChooser({ timeout: 5000 * tries }),
                                               tab.keyboard.press("Enter")]);
          return await chooser.accept(paths);
        } catch (error) {
          if (tries === 2 || error.name !== "TimeoutError") throw error;
        }
      }
    },
    Evaluate: (fn, ...args) => tab.evaluate(fn, ...args),
    WaitFor: (fn, ms, ...args) => tab.waitForFunction(fn, { timeout: ms }, ...args),
    Errors: async () => errors,
    Requests: async () => requests,
    Cdp: () => tab.createCDPSession(),
    Close: () => browser.close(),
  };
}

function FreePort() {
  return new Promise((done, fail) => {
    const server = createServer().listen(0, "127.0.0.1", () => {
      const { port } = server.address();
      server.close(() => done(port));
    }).on("error", fail);
  });
}

// No console over classic WebDriver: the page's own errors are gathered in the page, from its load on.
const kGatherErrors = `window.tallyglassErrors = [];
  window.addEventListener("error", (event) => window.tallyglassErrors.push(String(event.message)));
  window.addEventListener("unhandledrejection", (event) => window.tallyglassErrors.push(String(event.reason)));`;

const kWebDriverKeys = { Enter: "\uE007", Tab: "\uE004" };

async function WebKit() {
  const port = await FreePort();
  // Its own process group, so that the X server goes with it.
  const driver = spawn("xvfb-run", ["-a", "/usr/bin/WebKitWebDriver", `--port=${port}`],
                       { stdio: "ignore", detached: true });
  const Stop = () => { try { process.kill(-driver.pid, "SIGTERM"); } catch (e) { /* gone already */ } };
  const Call = async (method, path, body) => {
    const response = await fetch(`http://127.0.0.1:${port}${path}`, {
      method, headers: { "content-type": "application/json" }, body: body && JSON.stringify(body) });
    const { value } = await response.json();
    if (value && value.error) throw new Error(`WebDriver ${path}: ${value.error}: ${value.message}`);
    return value;
  };
  try {
    for (let tries = 0; ; ++tries) {
      const ready = await Call("GET", "/status").then((status) => status.ready, () => false);
      if (ready) break;
      if (tries === 100) throw new Error("WebKitWebDriver did not start");
      await Sleep(100);
    }
    const session = await Call("POST", "/session", { capabilities: { alwaysMatch: {
      "webkitgtk:browserOptions": { binary: kMiniBrowser, args: ["--automation"] } } } });
    const at = `/session/${session.sessionId}`;
    const Evaluate = (fn, ...args) =>
      Call("POST", `${at}/execute/sync`, { script: `return (${fn}).apply(null, arguments)`, args });
    return {
      engine: "webkit",
      version: `WebKitGTK ${session.capabilities.browserVersion}`,
      Open: async (url) => {
        await Call("POST", `${at}/url`, { url });
        await Call("POST", `${at}/execute/sync`, { script: kGatherErrors, args: [] });
      },
      Choose: async (paths) => {
        const element = await Call("POST", `${at}/element`, { using: "css selector", value: "input[type=file]" });
        await Call("POST", `${at}/element/${Object.values(element)[0]}/value`, { text: paths.join("\n") });
      },
      Press: (key) => Call("POST", `${at}/actions`, { actions: [{ type: "key", id: "keys", actions: [
        { type: "keyDown", value: kWebDriverKeys[key] || key }, { type: "keyUp", value: kWebDriverKeys[key] || key }] }] }),
      Evaluate,
      WaitFor: async (fn, ms, ...args) => {
        for (const end = Date.now() + ms; !(await Evaluate(fn, ...args));) {
          if (Date.now() > end) throw new Error(`waited ${ms} ms in vain for ${fn}`);
          await Sleep(50);
        }
      },
      Errors: () => Evaluate(() => window.tallyglassErrors || []),
      Requests: async () => [],
      Cdp: null,
      Close: async () => {
        await Call("DELETE", at).catch(() => {});
        Stop();
      },
    };
  } catch (error) {
    Stop();
    throw error;
  }
}

// The engine's browser with one tab; extra switches go to Chromium only.
export function OpenBrowser(engine, chromiumArgs = []) {
  return engine === "webkit" ? WebKit() : Puppeteer(engine, chromiumArgs);
}
