// The sky sphere: the keyframe gradient in the vertex colours, laid over the sphere picture,
// unlit and unfogged, blended by the keyframe's alpha. Culling is off because the sphere is
// seen from inside (and a negative height scale turns its winding). It writes no depth: the
// layers orbit at their own distances, inside or outside a flattened sphere, and always show.

texture tex0;

technique SkySphere
{
    pass P0
    {
        Lighting = false;
        FogEnable = false;
        CullMode = None;
        ZEnable = true;
        ZWriteEnable = false;
        AlphaBlendEnable = true;
        SrcBlend = SrcAlpha;
        DestBlend = InvSrcAlpha;

        Texture[0] = <tex0>;
        ColorOp[0] = Modulate;
        ColorArg1[0] = Texture;
        ColorArg2[0] = Diffuse;
        AlphaOp[0] = SelectArg1;
        AlphaArg1[0] = Diffuse;
        ColorOp[1] = Disable;
        AlphaOp[1] = Disable;
    }
}
