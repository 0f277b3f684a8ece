// Sends each request of requests.json to the native host, one after the
// other: the host answers nothing, so a request is done when the browser
// reports that the host has exited. Runs once, when the extension is installed
// (a test starts the browser with a fresh profile, so that is every start).
// The same file is Chromium's service worker and Firefox's background script;
// both offer the chrome.* functions used here.
const HOST_NAME = "com.kelmarq.pelliport";

function send(message) {
  return new Promise((resolve) => {
    chrome.runtime.sendNativeMessage(HOST_NAME, message, (reply) => {
      const error = chrome.runtime.lastError;
      console.log(`${HOST_NAME}: ${error ? error.message : JSON.stringify(reply)}`);
      resolve();
    });
  });
}

async function sendAll() {
  const response = await fetch(chrome.runtime.getURL("requests.json"));
  for (const request of await response.json()) {
    await send(request.message);
  }
}

chrome.runtime.onInstalled.addListener(() => {
  sendAll().catch((error) => console.error(`${HOST_NAME}: ${error}`));
});
