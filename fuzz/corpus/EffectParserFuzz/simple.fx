// The default effect of meshes: lit by the scene's lights and material, textured from tex0,
// with the scene's vertex fog. Everything else comes from the renderer's state.

texture tex0;

technique Simple
{
    pass P0
    {
        Lighting = true;
        FogEnable = true;

        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = Modulate;
        AlphaArg1[0] = Texture;
        AlphaArg2[0] = Diffuse;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
