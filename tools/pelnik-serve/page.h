#pragma once
// The page: plain HTML and JavaScript, nothing fetched from elsewhere.
// The token, when the server wants one, comes from the address's fragment
// (#token=...) or is asked for once, and stays in the tab's session storage.
namespace serve {

inline constexpr const char kPage[] = R"PAGE(<!DOCTYPE html>
<html lang="en"><head><meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>PelnikR5M-LX cameras</title>
<style>
body{font-family:sans-serif;margin:1em;background:#f4f4f4;color:#222}
.camera{background:#fff;border:1px solid #ccc;border-radius:6px;padding:1em;margin-bottom:1em}
.camera img{max-width:100%;width:640px;background:#000;display:block}
.controls{display:grid;grid-template-columns:repeat(auto-fill,minmax(220px,1fr));gap:.3em 1em;margin:.6em 0}
.controls label{display:flex;justify-content:space-between;gap:.5em;font-size:.9em}
.controls input,.controls select{width:7em}
.status{font-size:.9em;color:#555} .error{color:#b00}
</style></head>
<body>
<h1>PelnikR5M-LX cameras</h1>
<p class="status" id="message"></p>
<div id="cameras"></div>
<h2>Recordings</h2><ul id="recordings"></ul>
<script>
"use strict";
const MODES=[8,16,24,32,48,64];
let token=sessionStorage.getItem("pelnik-token")||"";
let asked=false;
const fragment=new URLSearchParams(location.hash.slice(1));
if(fragment.get("token")){token=fragment.get("token");sessionStorage.setItem("pelnik-token",token);history.replaceState(null,"",location.pathname);}
function withToken(url){return token?url+(url.includes("?")?"&":"?")+"token="+encodeURIComponent(token):url;}
function say(text,bad){const m=document.getElementById("message");m.textContent=text;m.className=bad?"status error":"status";}
async function api(path,method){
  const headers=token?{"Authorization":"Bearer "+token}:{};
  const answer=await fetch(path,{method:method||"GET",headers});
  if(answer.status===401){
    // Asked once per page load: a declined prompt must not come back every second.
    if(!asked){asked=true;token=prompt("Token of this camera server")||"";sessionStorage.setItem("pelnik-token",token);}
    throw new Error("token required");}
  const body=await answer.json();
  if(!answer.ok)throw new Error(body.error||answer.statusText);
  return body;
}
function control(cam,name,value){
  const input=value;
  return "<label>"+name+(name==="color-mode"
    ?"<select data-camera='"+cam+"' data-name='"+name+"' id='c"+cam+"-"+name+"'>"+MODES.map(m=>"<option"+(m===input?" selected":"")+">"+m+"</option>").join("")+"</select>"
    :"<input type='number' data-camera='"+cam+"' data-name='"+name+"' id='c"+cam+"-"+name+"' value='"+input+"'>")+"</label>";
}
function build(state){
  const root=document.getElementById("cameras");root.innerHTML="";
  for(const c of state.cameras){
    const div=document.createElement("div");div.className="camera";div.id="camera"+c.camera;
    const rtsp="rtsp://"+location.hostname+":"+state.rtspPort+c.rtsp;
    div.innerHTML="<h2>Camera "+c.camera+"</h2>"+
      "<img id='live"+c.camera+"' alt='camera "+c.camera+"' src='"+withToken("/live.mjpg?camera="+c.camera)+"'>"+
      "<p class='status'><span id='fps"+c.camera+"'></span> &middot; RTSP: <code>"+rtsp+"</code></p>"+
      "<div class='controls'>"+Object.entries(c.controls).map(([k,v])=>control(c.camera,k,v)).join("")+"</div>"+
      "<button id='snapshot"+c.camera+"'>Snapshot (PNG)</button> "+
      "<button id='record"+c.camera+"'></button>";
    root.appendChild(div);
    div.querySelectorAll("[data-name]").forEach(e=>e.addEventListener("change",async()=>{
      try{const v=await api("/api/control?camera="+c.camera+"&name="+encodeURIComponent(e.dataset.name)+"&value="+encodeURIComponent(e.value),"POST");
        say("camera "+c.camera+": "+e.dataset.name+" = "+v[e.dataset.name]);}catch(x){say(x.message,true);}
    }));
    div.querySelector("#snapshot"+c.camera).addEventListener("click",()=>{
      const a=document.createElement("a");a.href=withToken("/api/snapshot?camera="+c.camera);a.download="";document.body.appendChild(a);a.click();a.remove();
    });
    div.querySelector("#record"+c.camera).addEventListener("click",async()=>{
      const recording=div.dataset.recording==="true";
      try{await api("/api/record?camera="+c.camera+"&action="+(recording?"stop":"start"),"POST");}catch(x){say(x.message,true);}
      refresh();
    });
  }
}
function update(state){
  for(const c of state.cameras){
    const div=document.getElementById("camera"+c.camera);if(!div)continue;
    div.dataset.recording=c.recording;
    document.getElementById("fps"+c.camera).textContent=c.fps.toFixed(1)+" frames/s, "+c.frames+" frames";
    document.getElementById("record"+c.camera).textContent=c.recording?"Stop recording":"Record (AVI)";
    for(const[k,v]of Object.entries(c.controls)){const e=document.getElementById("c"+c.camera+"-"+k);if(e&&e!==document.activeElement)e.value=v;}
  }
}
async function refresh(){
  try{
    const state=await api("/api/state");
    if(!document.getElementById("cameras").children.length)build(state);
    update(state);
    const list=await api("/api/recordings");
    document.getElementById("recordings").innerHTML=list.recordings.map(r=>"<li><a href='"+withToken("/recordings/"+encodeURIComponent(r.name))+"' download>"+r.name+"</a> ("+(r.size/1048576).toFixed(1)+" MiB)</li>").join("");
  }catch(x){say(x.message,true);}
}
refresh();setInterval(refresh,1000);
</script></body></html>
)PAGE";

}  // namespace serve
